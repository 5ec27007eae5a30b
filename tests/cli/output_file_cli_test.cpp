// Output file names as scripts give them: special files stay what they are, links are
// followed, other kinds are refused, and an empty name is a usage error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "cli_runner.h"
#include "temp_files.h"

using evkit::test::freshDir;
using evkit::test::kindOf;
using evkit::test::runCli;
using evkit::test::slurp;

namespace {

TEST(OutputFiles, DevicesStayDevicesAndOtherKindsAreRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "making device nodes (mknod) needs root";
    const std::string dir = freshDir("evkit_out", "dev");
    const std::string null = dir + "/null", block = dir + "/block";
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mknod(block.c_str(), S_IFBLK | 0600, makedev(7, 200)), 0);
    for (const std::string command :
         {"dump 3 --count 2 --out ", "capture --pair 1 --samples 16 --out ",
          "capture --pair 1 --samples 16 --export ", "registers store "}) {
        auto r = runCli("--board sim " + command + null);
        EXPECT_EQ(r.status, 0) << command << "\n" << r.err;
        EXPECT_EQ(kindOf(null), static_cast<mode_t>(S_IFCHR)) << command;
        r = runCli("--board sim " + command + block);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("not a regular file, FIFO or character device"), std::string::npos)
            << command << "\n"
            << r.err;
        EXPECT_EQ(kindOf(block), static_cast<mode_t>(S_IFBLK)) << command;
    }
}

TEST(OutputFiles, AFifoGetsTheDumpAndALinkKeepsPointingAtIt) {
    const std::string dir = freshDir("evkit_out", "fifo");
    const std::string fifo = dir + "/pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The reading end is open before the program writes; the dump fits the pipe's buffer.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const auto r = runCli("--board sim dump 3 --count 2 --out " + fifo);
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(reader, buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    ::close(reader);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got.rfind("Bulk data for register 3\n", 0), 0u) << got;
    EXPECT_EQ(kindOf(fifo), static_cast<mode_t>(S_IFIFO));

    std::ofstream(dir + "/real.dat") << "old\n";
    ASSERT_EQ(::symlink("real.dat", (dir + "/link.dat").c_str()), 0);
    EXPECT_EQ(runCli("--board sim dump 3 --count 2 --out " + dir + "/link.dat").status, 0);
    EXPECT_EQ(kindOf(dir + "/link.dat"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(slurp(dir + "/real.dat").rfind("Bulk data for register 3\n", 0), 0u);
}

TEST(OutputFiles, StandardOutputKeepsTheProgramsOwnLines) {
    // /dev/fd/1 is /dev/stdout without the danger of a faulty writer replacing the system's
    // /dev/stdout link: the folder /proc/self/fd takes no new file.
    const auto r = runCli("--board sim read 0:0 dump 3 --count 2 --out /dev/fd/1");
    EXPECT_EQ(r.status, 0) << r.err;
    // The line printed before, the dump, then the dump's own result lines, in that order.
    const auto word = r.out.find("word=");
    const auto dump = r.out.find("Bulk data for register 3\n");
    const auto readings = r.out.find("readings=2");
    EXPECT_EQ(word, 0u) << r.out;
    EXPECT_LT(word, dump) << r.out;
    EXPECT_LT(dump, readings) << r.out;
}

TEST(OutputFiles, AnEmptyFileNameIsAUsageError) {
    for (const std::string args :
         {"dump 3 --count 2 --out ''", "capture --pair 1 --samples 16 --out ''",
          "capture --pair 1 --samples 16 --export ''",
          "fft --pair 1 --samples 64 --average 1 --fft-out ''", "monitor --updates 1 --log ''",
          "registers store ''", "registers retrieve ''", "batch ''", "analyze '' --test hist"}) {
        const auto r = runCli("--board sim --trace " + args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("an empty file name"), std::string::npos) << args << "\n" << r.err;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << args;  // nothing sent
    }
}

}  // namespace
