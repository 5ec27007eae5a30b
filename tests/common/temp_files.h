#pragma once
// Scratch folders and file contents for tests that write files.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace evkit::test {

// An empty folder of its own under the test temporary directory ("<stem>_<name>_<pid>").
inline std::string freshDir(const std::string& stem, const std::string& name) {
    const std::string dir =
        ::testing::TempDir() + stem + "_" + name + "_" + std::to_string(::getpid());
    std::system(("rm -rf '" + dir + "'").c_str());
    ::mkdir(dir.c_str(), 0755);
    return dir;
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The kind of file at `path` (S_IFREG, S_IFLNK, ...), links not followed; 0 when none.
inline mode_t kindOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

}  // namespace evkit::test
