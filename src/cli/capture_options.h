#pragma once
// Options shared by the commands that capture from the board.
#include <CLI/CLI.hpp>
#include <string>

#include "collection/collection_settings.h"

namespace evkit::cli {

// --pair 1..4 and --samples (one of the board's sample-count entries), both required.
inline void addPairAndSampleOptions(CLI::App& app, int& pair, int& samples,
                                    const std::string& samplesHelp) {
    app.add_option("--pair", pair,
                   "quantity pair: 1 current/voltage 1, 2 current/voltage 2, "
                   "3 active/reactive power 1, 4 active/reactive power 2")
        ->required()
        ->check(CLI::Range(1, 4));
    app.add_option("--samples", samples, samplesHelp + ": " + collection::sampleCountList())
        ->required()
        ->check([](const std::string& text) -> std::string {
            int n = 0;
            if (!CLI::detail::lexical_cast(text, n) || !collection::indexForSampleCount(n))
                return "--samples must be one of " + collection::sampleCountList();
            return {};
        });
}

}  // namespace evkit::cli
