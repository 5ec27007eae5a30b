#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

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
        if (c.entry->needsBoard) {
            if (int s = ctx.openBoard()) return CliContext::fromStatus(s);
        }
        const int status = c.run(ctx);
        std::fflush(stdout);
        if (status != kExitOk) return status;
    }
    return kExitOk;
}

std::vector<std::string> splitBatchLine(const std::string& line) {
    std::vector<std::string> words;
    std::string text = line.substr(0, line.find('#'));
    std::istringstream in(text);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

namespace {

EVKIT_CLI_COMMAND(CommandSpec{
    "batch", "Run commands from FILE (or standard input), one command line per line", 0, false,
    [](CLI::App& app) -> Runner {
        auto file = std::make_shared<std::string>();
        app.add_option("FILE", *file, "batch file ('-' or none: standard input)");
        return [file](CliContext& ctx) {
            std::ifstream stream;
            std::istream* in = &std::cin;
            if (!file->empty() && *file != "-") {
                stream.open(*file);
                if (!stream) return ctx.usage("cannot open batch file '" + *file + "'");
                in = &stream;
            }
            std::string line;
            int number = 0;
            while (std::getline(*in, line)) {
                ++number;
                const auto words = splitBatchLine(line);
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
                    return s == kExitUsage ? s : static_cast<int>(kExitFailure);
                }
            }
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
