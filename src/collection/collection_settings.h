#pragma once
// Settings that steer a capture and its analysis, with the values they hold at start-up, the
// four quantity pairs that can be captured and the entries of the sample-count choice.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace evkit::collection {

// Every capture and analysis buffer holds this many elements.
inline constexpr int kBufferSize = 70000;
// Interleaved channels of one capture (channel 1 and channel 2 alternate in the stream).
inline constexpr int kChannels = 2;
// A board capture delivers at most this many samples per channel.
inline constexpr int kMaxCaptureSamples = kBufferSize / kChannels;

// Sample counts per channel, by the index that is sent to the board (index 0 = 16).
inline constexpr std::array<int, 12> kSampleCounts = {16,   32,   64,   128,  256,   512,
                                                      1024, 2048, 4096, 8192, 16384, 32768};

// Count of an entry; nullopt for an index outside the table.
std::optional<int> sampleCountForIndex(int index);
// Index of the entry with this count; nullopt when no entry has it.
std::optional<int> indexForSampleCount(int count);
// "16, 32, ..., 32768", for messages.
std::string sampleCountList();

// One capturable pair: the read command bytes (2 x register address) of the two registers
// and the labels the channel buttons then carry.
struct QuantityPair {
    std::uint8_t channel1;
    std::uint8_t channel2;
    const char* buttonlabel1;
    const char* buttonlabel2;
};

inline constexpr std::array<QuantityPair, 4> kQuantityPairs = {{
    {2, 4, "Current 1", "Voltage 1"},
    {14, 16, "Current 2", "Voltage 2"},
    {6, 28, "Active Power 1", "Reactive Power 1"},
    {18, 34, "Active Power 2", "Reactive Power 2"},
}};

inline constexpr const char* kNoDataLabel = "No Data";

// Analysis selection (`test`).
enum AnalysisKind : int { kTestTime = 0, kTestFft = 1, kTestHistogram = 2 };

// Curve colours as 16-colour palette indices: channel 1 light magenta, channel 2 light blue.
inline constexpr int kChannel1Colour = 13;
inline constexpr int kChannel2Colour = 9;

// The user's collection settings. Nothing here is checked when it is stored; the capture and
// the analyses check what they use.
struct CollectionSettings {
    int samples = 16;       // samples per channel (value of the chosen sample-count entry)
    int samples_index = 0;  // index of that entry; this is what the board receives
    int average = 1;        // blocks averaged by the FFT analysis
    int window_index = 4;   // index of the chosen window entry
    int window = 4;         // value of the chosen window entry
    int bin_width = 256;    // histogram bin width in codes
    int data_delay = 1;     // forwarded to the board in the capture command
    int seconds_delay = 0;  // whole seconds to wait before a board capture
    // Elements 0..3 select the quantity pair (exactly one is 1 after start-up); 4 and 5 are
    // cleared with them by selectPair.
    std::array<int, 11> checkmark{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    int channels = kChannels;
    int noisemgmt_off = 0;
    int test = kTestTime;
    int curv_color = kChannel1Colour;

    // Pair-box commit: a non-zero value selects pair `pair` (0..3) alone; a zero value
    // changes nothing, so one pair always stays selected.
    void selectPair(int pair, int boxValue = 1);
    // The pair a capture uses: the last set flag of checkmark[0..3]; nullopt when none is set.
    std::optional<int> selectedPair() const;
    // Chooses the sample-count entry by index (samples follows). False for a bad index.
    bool setSampleIndex(int index);
};

}  // namespace evkit::collection
