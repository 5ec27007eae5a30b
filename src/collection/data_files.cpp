#include "collection/data_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

#include "collection/collection_settings.h"
#include "support/file_writer.h"
#include "support/format.h"
#include "support/text_input.h"

namespace evkit::collection {

namespace {

// White-space separated words of a stream, with the line each one is on; a word longer than
// kMaxWord is not a word of a capture file and ends the reading.
class Words {
  public:
    static constexpr std::size_t kMaxWord = 64;
    explicit Words(std::streambuf* in) : in_(in) {}

    // False at the end of the input or for an over-long word (then tooLong() is true).
    bool next(std::string& word) {
        word.clear();
        int c = in_->sgetc();
        while (c != EOF && isSpace(c)) {
            if (c == '\n') ++line_;
            c = in_->snextc();
        }
        if (c != EOF) wordLine_ = line_;
        while (c != EOF && !isSpace(c)) {
            if (word.size() == kMaxWord) {
                tooLong_ = true;
                return false;
            }
            word.push_back(static_cast<char>(c));
            c = in_->snextc();
        }
        return !word.empty();
    }
    // Line of the last word (from 1); at the end of the input, the line of the word before.
    int line() const { return wordLine_; }
    bool tooLong() const { return tooLong_; }

  private:
    static bool isSpace(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }
    std::streambuf* in_;
    int line_ = 1;
    int wordLine_ = 1;
    bool tooLong_ = false;
};

// Why an item could not be read: "line N: ..." naming the item and what was found.
std::string itemReason(const Words& words, const std::string& word, const std::string& item,
                       const std::string& expected) {
    std::string found;
    if (words.tooLong())
        found = "a word longer than " + std::to_string(Words::kMaxWord) + " characters";
    else if (word.empty())
        found = "the end of the file";
    else
        found = "\"" + word + "\"";
    return "line " + std::to_string(words.line()) + ": " + item + " must be " + expected +
           ", found " + found;
}

// The whole word must be one number of the type (an optional sign, as scanf takes it).
template <typename T>
bool parseNumber(const std::string& word, T& value) {
    const char* first = word.data();
    const char* last = word.data() + word.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') return false;
    }
    if (first == last) return false;
    const auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

bool writeText(const std::string& path, const std::string& text, std::string* error) {
    return writeFileAtomically(path, text, error);
}

std::size_t fftRows(int samples) {
    return samples >= 0 ? static_cast<std::size_t>(samples / 2) + 1 : 0;
}

}  // namespace

namespace {
CaptureFileRead readCaptureWords(std::filebuf& buf);
}  // namespace

CaptureFileRead read_capture_file(const std::string& path) {
    CaptureFileRead result;
    result.reason = unreadableFileReason(path);
    std::filebuf buf;
    if (!result.reason.empty() || !buf.open(path, std::ios::in | std::ios::binary)) {
        result.error = CaptureFileError::kCannotOpen;
        return result;
    }
    try {
        return readCaptureWords(buf);
    } catch (const std::exception&) {
        // The file buffer reports a failed read by throwing.
        result.error = CaptureFileError::kCannotOpen;
        result.reason = "read error";
        return result;
    }
}

namespace {

CaptureFileRead readCaptureWords(std::filebuf& buf) {
    CaptureFileRead result;
    Words words(&buf);
    std::string w;
    CaptureFile file;
    result.error = CaptureFileError::kIncompatible;

    const auto fail = [&](const std::string& item, const std::string& expected) {
        result.reason = itemReason(words, w, item, expected);
        return result;
    };
    if (!words.next(w) || w.size() > kMaxPartLength)
        return fail("the device header word",
                    "a word of at most " + std::to_string(kMaxPartLength) + " characters");
    file.part = w;
    if (!words.next(w) || !parseNumber(w, file.fs) || !std::isfinite(file.fs) || !(file.fs > 0))
        return fail("the sample rate", "a number above 0");
    long long count = 0;
    if (!words.next(w) || !parseNumber(w, count)) return fail("the sample count", "an integer");
    if (count < 1 || count > kBufferSize) {
        result.error = CaptureFileError::kBadSampleCount;
        result.badCount = count;
        return result;
    }
    file.samples = static_cast<int>(count);
    if (!words.next(w) || !parseNumber(w, file.range) || file.range < 1)
        return fail("the full-scale code", "an integer from 1 to 2147483647");
    file.codes.resize(static_cast<std::size_t>(file.samples));
    // Sample codes are 24-bit two's complement values.
    for (std::size_t i = 0; i < file.codes.size(); ++i) {
        auto& code = file.codes[i];
        if (!words.next(w) || !parseNumber(w, code) || code < kMinSampleCode ||
            code > kMaxSampleCode)
            return fail("sample " + std::to_string(i + 1) + " of " + std::to_string(file.samples),
                        "a 24-bit code from " + std::to_string(kMinSampleCode) + " to " +
                            std::to_string(kMaxSampleCode));
    }

    result.error = CaptureFileError::kNone;
    result.file = std::move(file);
    return result;
}

}  // namespace

MessageText captureFileErrorMessage(const CaptureFileRead& read, const std::string& path) {
    switch (read.error) {
        case CaptureFileError::kNone:
            return {};
        case CaptureFileError::kCannotOpen:
            return {"Error Message", "Unable to open the capture file \"" + path + "\"" +
                                         (read.reason.empty() ? "" : ": " + read.reason) + "."};
        case CaptureFileError::kBadSampleCount:
            return {"", std::string(msg::kIncompatibleDataFile) + ": the sample count " +
                            std::to_string(read.badCount) + " is outside 1 to " +
                            std::to_string(kBufferSize) + "."};
        case CaptureFileError::kIncompatible:
            break;
    }
    if (read.reason.empty()) return {"", msg::kIncompatibleDataFile};
    return {"", std::string(msg::kIncompatibleDataFile) + ": " + read.reason + "."};
}

std::string format_capture_file(const std::string& part, float fs, int samples, std::int32_t range,
                                std::span<const std::int32_t> sample_data) {
    std::string out = part + "\n";
    out += strprintf("%f", static_cast<double>(fs)) + "\n";
    out += strprintf("%d", samples) + "\n";
    out += strprintf("%d", range) + "\n";
    const std::size_t n =
        std::min(sample_data.size(), static_cast<std::size_t>(std::max(samples, 0)));
    out.reserve(out.size() + n * 9);
    char buf[16];
    for (std::size_t i = 0; i < n; ++i) {
        const int len = std::snprintf(buf, sizeof buf, "%d\n", sample_data[i]);
        out.append(buf, static_cast<std::size_t>(len));
    }
    return out;
}

bool write_capture_file(const std::string& path, const std::string& part, float fs, int samples,
                        std::int32_t range, std::span<const std::int32_t> sample_data,
                        std::string* error) {
    if (samples < 0 || static_cast<std::size_t>(samples) > sample_data.size()) return false;
    return writeText(path, format_capture_file(part, fs, samples, range, sample_data), error);
}

std::string format_fft_file(const std::string& part, float fs, int samples, std::int32_t range,
                            std::span<const double> spectrum_freq,
                            std::span<const double> spectrum_db) {
    std::string out = part + "\n";
    out += strprintf("%f", static_cast<double>(fs)) + " sample freq.\n";
    out += strprintf("%d", samples) + " samples\n";
    out += strprintf("%d", range) + " range\n";
    out += "Frequency \tMagnitude\n";
    const std::size_t rows = std::min({fftRows(samples), spectrum_freq.size(), spectrum_db.size()});
    for (std::size_t k = 0; k < rows; ++k)
        out += strprintf("%f", spectrum_freq[k]) + "\t" + strprintf("%f", spectrum_db[k]) + "\n";
    return out;
}

bool write_fft_file(const std::string& path, const std::string& part, float fs, int samples,
                    std::int32_t range, std::span<const double> spectrum_freq,
                    std::span<const double> spectrum_db, std::string* error) {
    const std::size_t rows = fftRows(samples);
    if (samples < 0 || spectrum_freq.size() < rows || spectrum_db.size() < rows) return false;
    return writeText(path, format_fft_file(part, fs, samples, range, spectrum_freq, spectrum_db),
                     error);
}

std::string format_hit_file(const std::string& part, int samples, const HistResult& hist) {
    if (!hist.binned || hist.bin_width < 1) return {};
    // In 64 bits: the span of two 32-bit codes need not fit in 32.
    const long long points =
        (static_cast<long long>(hist.hist_max) - hist.hist_min) / hist.bin_width;
    std::string out = part + "\n";
    out += strprintf("%d", samples) + " samples\n";
    out += strprintf("%lld", points) + " points\n";
    out += strprintf("%d", hist.hist_max) + " maximum\n";
    out += strprintf("%d", hist.hist_min) + " minimum\n";
    out += "Bin # \t\tCounts\n";
    const std::size_t rows =
        points < 0 ? 0 : std::min(static_cast<std::size_t>(points) + 1, hist.bins());
    for (std::size_t i = 0; i < rows; ++i)
        out += strprintf("%f", hist.axis[i]) + "\t\t" + strprintf("%d", hist.counts[i]) + "\n";
    return out;
}

bool write_hit_file(const std::string& path, const std::string& part, int samples,
                    const HistResult& hist, std::string* error) {
    if (!hist.binned || hist.bin_width < 1 || hist.axis.size() != hist.counts.size()) return false;
    return writeText(path, format_hit_file(part, samples, hist), error);
}

std::string format_sample_export(int samples, std::span<const std::int32_t> channel1_data,
                                 std::span<const std::int32_t> channel2_data) {
    std::string out = "                 Current              Voltage\n";
    const std::size_t n = std::min({static_cast<std::size_t>(std::max(samples, 0)),
                                    channel1_data.size(), channel2_data.size()});
    char buf[64];
    for (std::size_t i = 0; i < n; ++i) {
        const int len = std::snprintf(buf, sizeof buf, "%09d       %+09d           %+09d\n",
                                      static_cast<int>(i + 1), channel1_data[i], channel2_data[i]);
        out.append(buf, static_cast<std::size_t>(len));
    }
    return out;
}

bool write_sample_export(const std::string& path, int samples,
                         std::span<const std::int32_t> channel1_data,
                         std::span<const std::int32_t> channel2_data, std::string* error) {
    if (samples < 0 || static_cast<std::size_t>(samples) > channel1_data.size() ||
        static_cast<std::size_t>(samples) > channel2_data.size())
        return false;
    return writeText(path, format_sample_export(samples, channel1_data, channel2_data), error);
}

}  // namespace evkit::collection
