// Capture files (.dat) as a user might hand them to the program: the reader must refuse
// anything that is not a capture file and never hold more than the buffer's 70000 codes.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "collection/collection_settings.h"
#include "collection/data_files.h"

namespace {

const std::string& scratchFile() {
    static const std::string path = [] {
        char name[] = "/tmp/evkit_fuzz_capture_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        static std::string keep = name;
        std::atexit([] { std::remove(keep.c_str()); });
        return keep;
    }();
    return path;
}

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace evkit::collection;
    const std::string& path = scratchFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    const CaptureFileRead r = read_capture_file(path);
    if (!r.file) {
        check(r.error != CaptureFileError::kNone);
        const MessageText m = captureFileErrorMessage(r, path);
        check(!m.text.empty());
        return 0;
    }
    const CaptureFile& c = *r.file;
    check(r.error == CaptureFileError::kNone);
    check(c.samples >= 1 && c.samples <= kBufferSize);
    check(c.codes.size() == static_cast<std::size_t>(c.samples));
    check(!c.part.empty() && c.part.size() <= kMaxPartLength);
    check(std::isfinite(c.fs) && c.fs > 0);
    check(c.range >= 1);
    for (std::int32_t code : c.codes) check(code >= kMinSampleCode && code <= kMaxSampleCode);
    // What is read can be written again, with the same codes.
    const std::string text = format_capture_file(c.part, c.fs, c.samples, c.range, c.codes);
    check(text.rfind(c.part + "\n", 0) == 0);
    return 0;
}
