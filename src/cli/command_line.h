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
// Splits one line of a batch file into words: blanks separate words, "..." or '...' quote
// text holding blanks (a path with spaces), and '#' at the start of a word starts a comment
// ("a#b" is one word). False, with `error` set, for an unterminated quote.
bool splitBatchLine(const std::string& line, std::vector<std::string>& words,
                    std::string* error = nullptr);

}  // namespace evkit::cli
