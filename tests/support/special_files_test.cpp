// Where an output file name leads somewhere other than a regular file: a symbolic link is
// followed (the link stays and shows the new content), a FIFO or character device is written
// in place, the process's own descriptors keep their position, and anything else is refused.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "support/file_writer.h"
#include "temp_files.h"

namespace evkit {
namespace {

using test::freshDir;
using test::kindOf;
using test::slurp;

void put(const std::string& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

int entryCount(const std::string& dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
        ::closedir(d);
    }
    return n;
}

TEST(SpecialFiles, ALinkIsFollowedAndKeepsPointingAtTheNewContent) {
    const std::string dir = freshDir("evkit_sf", "link");
    const std::string other = freshDir("evkit_sf", "link_target");
    put(dir + "/real.dat", "old\n");
    put(other + "/far.dat", "old far\n");
    ASSERT_EQ(::symlink("real.dat", (dir + "/link.dat").c_str()), 0);  // relative
    ASSERT_EQ(::symlink("link.dat", (dir + "/chain.dat").c_str()), 0);
    ASSERT_EQ(::symlink((other + "/far.dat").c_str(), (dir + "/far.dat").c_str()), 0);
    ASSERT_EQ(::symlink("new.dat", (dir + "/dangling.dat").c_str()), 0);

    ASSERT_TRUE(writeFileAtomically(dir + "/link.dat", "new\n"));
    EXPECT_EQ(kindOf(dir + "/link.dat"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(slurp(dir + "/real.dat"), "new\n");
    ASSERT_TRUE(writeFileAtomically(dir + "/chain.dat", "chained\n"));
    EXPECT_EQ(kindOf(dir + "/chain.dat"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(slurp(dir + "/real.dat"), "chained\n");
    // A link into another folder: the temporary file is made beside the target.
    ASSERT_TRUE(writeFileAtomically(dir + "/far.dat", "new far\n"));
    EXPECT_EQ(kindOf(dir + "/far.dat"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(slurp(other + "/far.dat"), "new far\n");
    // A link to a file not there yet creates it.
    ASSERT_TRUE(writeFileAtomically(dir + "/dangling.dat", "created\n"));
    EXPECT_EQ(kindOf(dir + "/dangling.dat"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(slurp(dir + "/new.dat"), "created\n");
    // Nothing else was left behind.
    EXPECT_EQ(entryCount(dir), 6);
    EXPECT_EQ(entryCount(other), 1);

    // A loop of links is refused with the reason.
    ASSERT_EQ(::symlink("loop2", (dir + "/loop1").c_str()), 0);
    ASSERT_EQ(::symlink("loop1", (dir + "/loop2").c_str()), 0);
    std::string why;
    EXPECT_FALSE(writeFileAtomically(dir + "/loop1", "x", &why));
    EXPECT_EQ(why, std::strerror(ELOOP));
    EXPECT_EQ(kindOf(dir + "/loop1"), static_cast<mode_t>(S_IFLNK));
}

TEST(SpecialFiles, AFifoIsWrittenInPlaceAsAStream) {
    const std::string dir = freshDir("evkit_sf", "fifo");
    const std::string fifo = dir + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const bool produced : {false, true}) {
        // The reading end is open before the write (so the writer's open does not wait) and
        // read after it: the few bytes fit the pipe's buffer.
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        std::string why;
        const bool ok = produced ? writeFileAtomicallyWith(
                                       fifo, ".png",
                                       [](const std::string& temp) {
                                           std::ofstream(temp, std::ios::binary) << "image bytes";
                                           return true;
                                       },
                                       &why)
                                 : writeFileAtomically(fifo, "streamed\n", &why);
        std::string got;
        char buf[256];
        ssize_t n;
        while ((n = ::read(reader, buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
        ::close(reader);
        EXPECT_TRUE(ok) << why;
        EXPECT_EQ(got, produced ? "image bytes" : "streamed\n");
        EXPECT_EQ(kindOf(fifo), static_cast<mode_t>(S_IFIFO));
    }
    EXPECT_EQ(entryCount(dir), 1);
}

TEST(SpecialFiles, OwnDescriptorsKeepTheirPosition) {
    const std::string dir = freshDir("evkit_sf", "fd");
    const std::string file = dir + "/out.txt";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "lines before\n", 13), 13);
    struct stat before {};
    ::fstat(fd, &before);
    ASSERT_TRUE(writeFileAtomically("/dev/fd/" + std::to_string(fd), "dump\n"));
    ASSERT_TRUE(writeFileAtomically("/proc/self/fd/" + std::to_string(fd), "more\n"));
    ::close(fd);
    // Appended where the descriptor stood, into the same file (not replaced by a rename).
    EXPECT_EQ(slurp(file), "lines before\ndump\nmore\n");
    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST(SpecialFiles, ASocketAnEmptyNameAndADirectoryAreRefused) {
    const std::string dir = freshDir("evkit_sf", "refused");
    const std::string sock = dir + "/sock";
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::string why;
    EXPECT_FALSE(writeFileAtomically(sock, "x", &why));
    EXPECT_EQ(why, "not a regular file, FIFO or character device");
    EXPECT_EQ(kindOf(sock), static_cast<mode_t>(S_IFSOCK));
    ::close(s);
    EXPECT_FALSE(writeFileAtomically("", "x", &why));
    EXPECT_EQ(why, "an empty file name");
    EXPECT_FALSE(writeFileAtomically(dir, "x", &why));
    EXPECT_EQ(why, std::strerror(EISDIR));
}

TEST(SpecialFiles, DevicesAreWrittenInPlaceOrRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "making device nodes (mknod) needs root";
    const std::string dir = freshDir("evkit_sf", "dev");
    const std::string null = dir + "/null", full = dir + "/full", block = dir + "/block";
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    ASSERT_EQ(::mknod(block.c_str(), S_IFBLK | 0600, makedev(7, 200)), 0);
    std::string why;
    EXPECT_TRUE(writeFileAtomically(null, "gone\n", &why)) << why;
    EXPECT_EQ(kindOf(null), static_cast<mode_t>(S_IFCHR));
    // A device that fails the write is said to, and stays what it was.
    EXPECT_FALSE(writeFileAtomically(full, "x", &why));
    EXPECT_EQ(why, std::strerror(ENOSPC));
    EXPECT_EQ(kindOf(full), static_cast<mode_t>(S_IFCHR));
    EXPECT_FALSE(writeFileAtomically(block, "x", &why));
    EXPECT_EQ(why, "not a regular file, FIFO or character device");
    EXPECT_EQ(kindOf(block), static_cast<mode_t>(S_IFBLK));
    EXPECT_EQ(entryCount(dir), 3);
}

}  // namespace
}  // namespace evkit
