// Output files are written whole or not at all: every writer of the program, on a disk that
// fills up half-way (a file size limit, or the writer's injected failure), keeps the file it
// was replacing, leaves no temporary file behind and never writes through a planted link.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "collection/analysis.h"
#include "collection/data_files.h"
#include "conversion/conversion_log.h"
#include "diagnostics/register_debug.h"
#include "registers/register_file.h"
#include "sim_rig.h"
#include "support/file_writer.h"

namespace evkit {
namespace {

std::string freshDir(const std::string& name) {
    const std::string dir =
        ::testing::TempDir() + "evkit_fw_" + name + "_" + std::to_string(::getpid());
    std::system(("rm -rf '" + dir + "'").c_str());
    ::mkdir(dir.c_str(), 0755);
    return dir;
}

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put(const std::string& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") out.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A file size limit of `bytes` for this process while it lives: a write past it fails as
// on a full disk (the signal such a write raises is ignored, as the programs do).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Every writer of the program, each producing far more than the limit below.
struct Writer {
    const char* name;
    std::function<bool(const std::string& path)> write;
};

std::vector<Writer> everyWriter() {
    static const std::vector<std::int32_t> codes = [] {
        std::vector<std::int32_t> v(20000);
        std::iota(v.begin(), v.end(), -10000);
        return v;
    }();
    static const std::vector<double> reals(codes.begin(), codes.end());
    return {
        {"capture file",
         [](const std::string& p) {
             return collection::write_capture_file(p, "PM7014", 4000.0f, 20000, 8388608, codes);
         }},
        {"spectrum file",
         [](const std::string& p) {
             return collection::write_fft_file(p, "PM7014", 4000.0f, 20000, 8388608, reals, reals);
         }},
        {"histogram file",
         [](const std::string& p) {
             const auto h = collection::hist_test(reals, 1);
             return collection::write_hit_file(p, "PM7014", 20000, h);
         }},
        {"sample export",
         [](const std::string& p) {
             return collection::write_sample_export(p, 20000, codes, codes);
         }},
        {"register dump",
         [](const std::string& p) {
             const std::vector<std::uint32_t> words(20000, 0xABCDEF);
             return diagnostics::writeRegisterDump(p, 7, words, nullptr);
         }},
        {"register settings file",
         [](const std::string& p) {
             test::SimRig rig;
             rig.open();
             return storeRegisterFile(rig.link, rig.messages, p) == 0;
         }},
        {"conversion log header",
         [](const std::string& p) {
             conversion::ConversionLog log;
             return log.open(p, conversion::LogHeaderValues{});
         }},
        {"exported plot (writer by name)",
         [](const std::string& p) {
             return writeFileAtomicallyWith(p, ".png", [](const std::string& temp) {
                 std::ofstream out(temp, std::ios::binary);
                 out << std::string(20000, 'x');
                 return static_cast<bool>(out.flush());
             });
         }},
    };
}

const std::string kOld = "the file as it was before\n";

TEST(AtomicFiles, EveryWriterOnAFullDiskKeepsTheOldFile) {
    for (const auto& w : everyWriter()) {
        const std::string dir = freshDir("full");
        const std::string target = dir + "/out.txt";
        put(target, kOld);
        bool ok = true;
        {
            FileSizeLimit limit(32);
            ok = w.write(target);
        }
        EXPECT_FALSE(ok) << w.name;
        EXPECT_EQ(slurp(target), kOld) << w.name;
        EXPECT_EQ(entries(dir), std::vector<std::string>{"out.txt"}) << w.name;
        // Without the limit the same writer replaces the file.
        EXPECT_TRUE(w.write(target)) << w.name;
        EXPECT_GT(slurp(target).size(), 32u) << w.name;
        EXPECT_EQ(entries(dir), std::vector<std::string>{"out.txt"}) << w.name;
    }
}

TEST(AtomicFiles, InjectedWriteFailureKeepsTheOldFileAndSaysWhy) {
    for (const std::size_t after : {std::size_t{0}, std::size_t{1}, std::size_t{10}}) {
        const std::string dir = freshDir("inject");
        const std::string target = dir + "/capture.dat";
        put(target, kOld);
        injectWriteFailure(after);
        std::string why;
        const bool ok = collection::write_capture_file(target, "PM7014", 4000.0f, 3, 8388608,
                                                       std::vector<std::int32_t>{1, 2, 3}, &why);
        clearInjectedWriteFailure();
        EXPECT_FALSE(ok) << after;
        EXPECT_EQ(why, "No space left on device") << after;
        EXPECT_EQ(slurp(target), kOld) << after;
        EXPECT_EQ(entries(dir), std::vector<std::string>{"capture.dat"}) << after;
    }
}

TEST(AtomicFiles, ReplacementKeepsThePermissionsAndNewFilesFollowTheMask) {
    const std::string dir = freshDir("mode");
    const std::string target = dir + "/kept.dat";
    put(target, kOld);
    ::chmod(target.c_str(), 0640);
    ASSERT_TRUE(writeFileAtomically(target, "new\n"));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(slurp(target), "new\n");

    const mode_t mask = ::umask(027);
    const bool made = writeFileAtomically(dir + "/new.dat", "x");
    ::umask(mask);
    ASSERT_TRUE(made);
    ASSERT_EQ(::stat((dir + "/new.dat").c_str(), &st), 0);
    // The mask in force when the writer first looked is the process's; either way the
    // temporary file's private 0600 must not leak into the result.
    EXPECT_NE(st.st_mode & 07777, 0600u);
}

TEST(AtomicFiles, APlantedTemporaryNameIsNeverFollowed) {
    // Someone who can write the directory plants links at the names a naive writer would use
    // for its temporary file; the file they point at must stay untouched.
    const std::string dir = freshDir("planted");
    const std::string victim = dir + "/victim";
    put(victim, "precious\n");
    const std::string target = dir + "/regs.rsf";
    for (const char* planted : {"/regs.rsf.tmp", "/regs.rsf~", "/.regs.rsf.tmp"})
        ASSERT_EQ(::symlink(victim.c_str(), (dir + planted).c_str()), 0);
    test::SimRig rig;
    rig.open();
    ASSERT_EQ(storeRegisterFile(rig.link, rig.messages, target), 0);
    EXPECT_EQ(slurp(victim), "precious\n");
    EXPECT_EQ(slurp(target).rfind(kRegisterFileHeader, 0), 0u);
}

TEST(AtomicFiles, ADirectoryOrAMissingFolderIsRefusedWithAReason) {
    const std::string dir = freshDir("dir");
    std::string why;
    EXPECT_FALSE(writeFileAtomically(dir, "x", &why));
    EXPECT_EQ(why, "Is a directory");
    EXPECT_FALSE(writeFileAtomically(dir + "/no/such/file", "x", &why));
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_EQ(fileWriteErrorText("/a/b.dat", "Is a directory"),
              "Unable to write the file \"/a/b.dat\": Is a directory.");
}

TEST(AtomicFiles, AFailedProducerLeavesNothingBehind) {
    const std::string dir = freshDir("producer");
    const std::string target = dir + "/plot.svg";
    put(target, kOld);
    EXPECT_FALSE(writeFileAtomicallyWith(target, ".svg", [](const std::string& temp) {
        put(temp, "<svg half");
        return false;
    }));
    EXPECT_EQ(slurp(target), kOld);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"plot.svg"});
}

TEST(AtomicFiles, AppendingReportsAFailedWrite) {
    const std::string dir = freshDir("append");
    const std::string log = dir + "/log.txt";
    ASSERT_TRUE(appendToFile(log, "line 1\n"));
    injectWriteFailure(3);
    std::string why;
    EXPECT_FALSE(appendToFile(log, "line 2\n", &why));
    clearInjectedWriteFailure();
    EXPECT_EQ(why, "No space left on device");
    EXPECT_FALSE(appendToFile(dir + "/missing/log.txt", "x", &why));
    EXPECT_EQ(why, "No such file or directory");
}

}  // namespace
}  // namespace evkit
