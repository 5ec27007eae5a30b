// Batch files: lines are read with a bounded length and split into words (quotes, comments).
// No input may make a line longer than the bound or crash the splitter.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "support/text_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string line;
    std::vector<std::string> words;
    // A small bound here so that the fuzzer reaches the too-long path.
    for (int lines = 0; lines < 10000; ++lines) {
        const evkit::LineRead got = evkit::readLine(in, line, 256);
        if (got == evkit::LineRead::kEnd || got == evkit::LineRead::kError) break;
        if (line.size() > 256) __builtin_trap();
        if (got == evkit::LineRead::kTooLong) break;
        std::string why;
        if (evkit::cli::splitBatchLine(line, words, &why)) {
            std::size_t total = 0;
            for (const auto& w : words) total += w.size();
            if (total > line.size()) __builtin_trap();
        } else if (why.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
