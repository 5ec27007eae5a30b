#pragma once
// Splitting a command line (or a batch line) into commands, parsing and running them.
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace evkit::cli {

struct ParsedCommand {
    const CommandSpec* entry = nullptr;
    std::shared_ptr<CLI::App> app;  // keeps the option storage alive
    Runner run;
};

// Parses every command of `words`; prints the error and returns kExitUsage on bad input.
int parseCommandLine(const std::vector<std::string>& words, std::vector<ParsedCommand>& out);
// Runs parsed commands in order; stops at the first failure and returns its exit status.
int runCommands(CliContext& ctx, std::vector<ParsedCommand>& commands);
// Splits one line of a batch file into words (whitespace; '#' starts a comment).
std::vector<std::string> splitBatchLine(const std::string& line);

}  // namespace evkit::cli
