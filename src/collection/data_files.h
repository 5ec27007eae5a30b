#pragma once
// The collection's text files: capture files ".dat" (written and read back), spectrum files
// ".fft" and histogram files ".hit" (written only), and the sample text export. Writers build
// the exact bytes (line feeds, reals with six decimals) and report whether the file was
// written (whole, or not at all: support/file_writer.h; `error` says why it was not); they
// show no message themselves.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "collection/analysis.h"

namespace evkit::collection {

namespace msg {
// Shown (empty title) for a capture file any item of which cannot be read.
inline constexpr const char* kIncompatibleDataFile = "ERROR: Incompatible Data File";
}  // namespace msg

// Sample codes a capture file may hold: 24-bit two's complement.
inline constexpr std::int32_t kMinSampleCode = -8388608;
inline constexpr std::int32_t kMaxSampleCode = 8388607;

// Longest header word a capture file may carry.
inline constexpr std::size_t kMaxPartLength = 19;

// Contents of a capture file.
struct CaptureFile {
    std::string part;  // header word, at most 19 characters
    float fs = 0.0f;   // sample rate, finite and > 0
    int samples = 0;   // 1 .. 70000
    std::int32_t range = 0;
    std::vector<std::int32_t> codes;  // `samples` codes
};

enum class CaptureFileError {
    kNone,
    kCannotOpen,      // the file cannot be opened
    kIncompatible,    // an item is missing or not of its kind (or out of its range: codes
                      // outside the 24-bit range included)
    kBadSampleCount,  // the count is below 1 or above 70000
};

struct CaptureFileRead {
    std::optional<CaptureFile> file;  // set only when every item was read
    CaptureFileError error = CaptureFileError::kNone;
    long long badCount = 0;  // the count found, for kBadSampleCount
    // Why the file could not be read: for kCannotOpen (may be empty), and for kIncompatible
    // the line and the item that is wrong.
    std::string reason;
};

// Reads a capture file: header word, sample rate, sample count, full-scale code, then the
// codes, separated by any white space; anything after the codes is ignored. All or nothing:
// on any failure `file` is empty. Never holds more than 70000 codes, whatever the file says.
CaptureFileRead read_capture_file(const std::string& path);

// The message (title, text) for a failed read.
struct MessageText {
    std::string title;
    std::string text;
};
MessageText captureFileErrorMessage(const CaptureFileRead& read, const std::string& path);

// Capture file: part, fs, samples, range, then sample_data[0 .. samples-1], one per line.
bool write_capture_file(const std::string& path, const std::string& part, float fs, int samples,
                        std::int32_t range, std::span<const std::int32_t> sample_data,
                        std::string* error = nullptr);

// Spectrum file: header of four lines, "Frequency \tMagnitude", then rows k = 0 .. samples/2
// of "frequency\tmagnitude" from the two arrays (each must hold samples/2 + 1 values).
bool write_fft_file(const std::string& path, const std::string& part, float fs, int samples,
                    std::int32_t range, std::span<const double> spectrum_freq,
                    std::span<const double> spectrum_db, std::string* error = nullptr);

// Histogram file of a successful histogram (`hist.binned`), made with hist.bin_width:
// rows i = 0 .. (hist_max - hist_min) / bin_width of "axis\t\tcount". False (nothing
// written) for a refused histogram.
bool write_hit_file(const std::string& path, const std::string& part, int samples,
                    const HistResult& hist, std::string* error = nullptr);

// Sample text export: the title line, then per sample "%09d       %+09d           %+09d"
// with the one-based index and the codes of channel 1 and channel 2.
bool write_sample_export(const std::string& path, int samples,
                         std::span<const std::int32_t> channel1_data,
                         std::span<const std::int32_t> channel2_data, std::string* error = nullptr);

// The texts the writers produce (for writers above, and for tests and previews).
std::string format_capture_file(const std::string& part, float fs, int samples, std::int32_t range,
                                std::span<const std::int32_t> sample_data);
std::string format_fft_file(const std::string& part, float fs, int samples, std::int32_t range,
                            std::span<const double> spectrum_freq,
                            std::span<const double> spectrum_db);
std::string format_hit_file(const std::string& part, int samples, const HistResult& hist);
std::string format_sample_export(int samples, std::span<const std::int32_t> channel1_data,
                                 std::span<const std::int32_t> channel2_data);

}  // namespace evkit::collection
