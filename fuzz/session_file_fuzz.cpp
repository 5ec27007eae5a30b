// Session files (--board replay:FILE): any input either parses into operations that format
// back to the same text, or is refused with a message; none may crash the parser or make it
// hold more than the input's worth of memory. Compressed input goes through the decompressor
// first, as the replay does.
#include <cstdint>
#include <string>

#include "board/session_file.h"
#include "board/session_storage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text, why;
    if (!evkit::gunzipText(input, &text, &why)) {
        if (why.empty()) __builtin_trap();
        return 0;
    }
    evkit::SessionFile parsed;
    std::string error;
    if (!evkit::parseSessionText(text, &parsed, &error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    // A file accepted is exactly what the writer makes of its operations.
    std::string again = evkit::formatSessionHeader(parsed.program, parsed.simulated);
    for (std::size_t i = 0; i < parsed.ops.size(); ++i)
        again += evkit::formatSessionOp(i + 1, parsed.ops[i]);
    again += evkit::formatSessionEnd(again, parsed.ops.size());
    evkit::SessionFile reparsed;
    if (!evkit::parseSessionText(again, &reparsed, &error)) __builtin_trap();
    if (reparsed.ops != parsed.ops || reparsed.program != parsed.program) __builtin_trap();
    return 0;
}
