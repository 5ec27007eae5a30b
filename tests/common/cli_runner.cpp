#include "cli_runner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace evkit::test {

CliResult runCli(const std::string& args, const std::string& input) {
    // Unique file names: several test programs may run at once.
    static std::atomic<int> counter{0};
    const std::string stem = ::testing::TempDir() + "evkit_cli_" + std::to_string(getpid()) +
                             "_" + std::to_string(counter++);
    const std::string errFile = stem + ".err";
    std::string cmd = std::string(EVKIT_CLI_PATH) + " " + args + " 2>" + errFile;
    if (!input.empty()) {
        const std::string inFile = stem + ".in";
        std::ofstream(inFile) << input;
        cmd += " <" + inFile;
    } else {
        cmd += " </dev/null";
    }
    CliResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    r.status = WEXITSTATUS(pclose(p));
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        if (auto eq = line.find('='); eq != std::string::npos)
            r.values[line.substr(0, eq)] = line.substr(eq + 1);
    std::remove(errFile.c_str());
    std::remove((stem + ".in").c_str());
    return r;
}

}  // namespace evkit::test
