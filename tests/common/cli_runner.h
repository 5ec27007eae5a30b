#pragma once
// Runs the command-line program as a user would and collects what it printed.
#include <map>
#include <string>

namespace evkit::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
    std::map<std::string, std::string> values;  // the key=value lines of `out`
};

// `args` follow the program name; `input` (when not empty) is fed on standard input.
CliResult runCli(const std::string& args, const std::string& input = "");

}  // namespace evkit::test
