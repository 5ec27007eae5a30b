#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/arguments.h"
#include "support/text_input.h"

namespace evkit::cli {

int parseCommandLine(const std::vector<std::string>& words, std::vector<ParsedCommand>& out) {
    size_t i = 0;
    while (i < words.size()) {
        const CommandSpec* entry = findCommand(words[i]);
        if (!entry) {
            std::fprintf(stderr, "error: unknown command '%s' (see --help)\n", words[i].c_str());
            return kExitUsage;
        }
        auto app = std::make_shared<CLI::App>(entry->summary, entry->name);
        Runner run = entry->define(*app);
        // The value of an option (as in "--test fft") is never taken for a command name.
        auto isOptionValue = [&](size_t j) {
            const std::string& prev = words[j - 1];
            if (j <= i + 1 || prev.rfind("-", 0) != 0 || prev.find('=') != std::string::npos)
                return false;
            const CLI::Option* opt = app->get_option_no_throw(prev);
            return opt && opt->get_expected_min() > 0;
        };
        // The command's words run until the next command name, once it has its minimum.
        std::vector<std::string> args;
        int positional = 0;
        size_t j = i + 1;
        for (; j < words.size(); ++j) {
            const std::string& w = words[j];
            if (findCommand(w) && positional >= entry->minWords && !isOptionValue(j)) break;
            if (w.rfind("-", 0) != 0 ||
                (w.size() > 1 && std::isdigit(static_cast<unsigned char>(w[1]))))
                ++positional;
            args.push_back(w);
        }
        try {
            std::vector<std::string> reversed(args.rbegin(), args.rend());
            app->parse(reversed);
        } catch (const CLI::CallForHelp&) {
            std::cout << app->help();
            return kExitUsage;
        } catch (const CLI::ParseError& e) {
            std::fprintf(stderr, "error: %s: %s\n", entry->name.c_str(), e.what());
            return kExitUsage;
        }
        out.push_back({entry, app, std::move(run)});
        i = j;
    }
    return kExitOk;
}

int runCommands(CliContext& ctx, std::vector<ParsedCommand>& commands) {
    for (auto& c : commands) {
        if (ctx.pump.cancelRequested()) return kExitInterrupted;
        if (c.entry->needsBoard) {
            if (int s = ctx.openBoard()) return CliContext::fromStatus(s);
        }
        const int status = c.run(ctx);
        std::fflush(stdout);
        // Whatever the command made of it, an interrupted command ends the run.
        if (ctx.pump.cancelRequested()) return kExitInterrupted;
        if (status != kExitOk) return status;
    }
    return kExitOk;
}

bool splitBatchLine(const std::string& line, std::vector<std::string>& words, std::string* error) {
    words.clear();
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') break;  // '#' at the start of a word
        std::string word;
        while (i < line.size() && !blank(line[i])) {
            const char c = line[i++];
            if (c != '"' && c != '\'') {
                word.push_back(c);
                continue;
            }
            const std::size_t close = line.find(c, i);
            if (close == std::string::npos) {
                if (error) *error = std::string("unterminated ") + c + " quote";
                return false;
            }
            word.append(line, i, close - i);
            i = close + 1;
        }
        words.push_back(std::move(word));
    }
    return true;
}

namespace {

EVKIT_CLI_COMMAND(CommandSpec{
    "batch", "Run commands from FILE (or standard input), one command line per line", 0, false,
    [](CLI::App& app) -> Runner {
        auto file = std::make_shared<std::string>();
        app.add_option("FILE", *file, "batch file ('-' or none: standard input)")
            ->check(fileName());
        return [file](CliContext& ctx) {
            std::ifstream stream;
            std::istream* in = &std::cin;
            std::string name = "standard input";
            if (!file->empty() && *file != "-") {
                name = "the batch file \"" + *file + "\"";
                std::string why = unreadableFileReason(*file);
                if (why.empty()) {
                    stream.open(*file, std::ios::binary);
                    if (!stream) why = "cannot be opened";
                }
                if (!why.empty()) {
                    ctx.messages.show("Error Message", "Cannot read " + name + ": " + why + ".");
                    return static_cast<int>(kExitFailure);
                }
                in = &stream;
            }
            std::string line;
            int number = 0;
            for (;;) {
                const LineRead got = readLine(*in, line);
                if (got == LineRead::kEnd) break;
                ++number;
                if (got == LineRead::kError) {
                    ctx.messages.show("Error Message", "Cannot read " + name + " (line " +
                                                           std::to_string(number) + ").");
                    return static_cast<int>(kExitFailure);
                }
                if (got == LineRead::kTooLong)
                    return ctx.usage("batch line " + std::to_string(number) + " is longer than " +
                                     std::to_string(kMaxTextLine) + " bytes");
                std::vector<std::string> words;
                std::string why;
                if (!splitBatchLine(line, words, &why))
                    return ctx.usage("batch line " + std::to_string(number) + ": " + why);
                if (words.empty()) continue;
                std::vector<ParsedCommand> parsed;
                if (parseCommandLine(words, parsed) != kExitOk) {
                    std::fprintf(stderr, "error: batch line %d\n", number);
                    return static_cast<int>(kExitUsage);
                }
                for (auto& p : parsed)
                    if (p.entry->name == "batch")
                        return ctx.usage("batch line " + std::to_string(number) +
                                         ": batch files cannot run other batch files");
                if (int s = runCommands(ctx, parsed); s != kExitOk) {
                    std::fprintf(stderr, "error: batch stopped at line %d\n", number);
                    return s == kExitUsage || s == kExitInterrupted
                               ? s
                               : static_cast<int>(kExitFailure);
                }
            }
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
