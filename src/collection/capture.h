#pragma once
// Sample capture: the capture buffers, one block from the board (command 248 and its
// reception worker) or from a capture file, and the board steps around an analysis.
//
// Threads: everything here runs on the thread that calls it (the user-interface thread),
// except Rcv_Pac, which BoardLink runs on its own worker thread during command 248. The
// worker reads only a snapshot of the settings taken before the command, writes only a
// private staging buffer and atomics, and sends its messages through link.deferMessage /
// deferConnectionLost (shown once the worker has finished). The capture buffers change only
// after a successful capture, on the calling thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "board/session.h"
#include "collection/collection_settings.h"
#include "collection/data_files.h"

namespace evkit::collection {

namespace msg {
inline constexpr const char* kWindowTitle = "Data Collection Window";
inline constexpr const char* kSendFailed = "Unable to send data collection command to board.";
inline constexpr const char* kQueueStatus =
    "During data collection, unable to get RX Queue Status.";
inline constexpr const char* kQueueOverrun =
    "During data collection, unable to get RX Queue Status.\nPacket OverRun at PC";
inline constexpr const char* kTimedOut = "Timed out during data collection.";
inline constexpr const char* kClockDividerZero =
    "The clock divider of the configuration register (0:0, bits 0..3) is 0, so the sample "
    "rate cannot be determined. Set a clock divider of 1 or more and collect again.";
}  // namespace msg

// Status values of the collection's own refusals (their message has been shown).
// Values below -100 are the program's own and name one outcome each across the program
// (kStatusBusy and kStatusClosed of the board link included).
constexpr int kStatusNoPacket = -1;   // no packet for 10 s
constexpr int kStatusFileError = -1;  // capture file not read
constexpr int kStatusNoClockDivider = -110;
constexpr int kStatusBadSampleCount = -111;

inline constexpr int kPacketBytes = 60;
inline constexpr int kValuesPerPacket = 20;
inline constexpr double kPacketTimeoutSeconds = 10.0;

// Decodes one 60-byte packet: 20 codes of 3 bytes, least significant first, sign-extended
// from 24 bits.
void decodePacket(const std::uint8_t* packet, std::int32_t* out);
// channel1[i] = raw[2i], channel2[i] = raw[2i + 1] for i < samples.
void splitChannels(std::span<const std::int32_t> raw, int samples, std::span<std::int32_t> channel1,
                   std::span<std::int32_t> channel2);

// The five buffers, kBufferSize elements each, allocated once and never resized.
struct CaptureBuffers {
    CaptureBuffers();
    std::vector<std::int32_t> raw_data;       // received stream, channel 1 first, alternating
    std::vector<std::int32_t> channel1_data;  // samples of the pair's channel 1 quantity
    std::vector<std::int32_t> channel2_data;  // samples of the pair's channel 2 quantity
    std::vector<std::int32_t> sample_data;    // the block under analysis
    std::vector<double> sample_real;          // sample_data as reals (input of analyses)

    // sample_real = sample_data, every element.
    void convertSampleData();
};

// Called from the worker thread after every packet with the values received so far (capped
// at `expected`) and the values expected (samples x 2). Keep it short and thread-safe (for
// example post to the GUI thread); progressReceived() can be polled instead.
using ProgressCallback = std::function<void(int received, int expected)>;

// One per Session: installs its reception worker as session.link.collectionWorker for its
// lifetime.
class DataCollection {
  public:
    explicit DataCollection(Session& session);
    ~DataCollection();
    DataCollection(const DataCollection&) = delete;
    DataCollection& operator=(const DataCollection&) = delete;

    Session& session;
    CollectionSettings settings;
    CaptureBuffers buffers;

    // What the last board capture carried (read command bytes and button labels).
    std::uint8_t channel1 = 0;
    std::uint8_t channel2 = 0;
    std::string buttonlabel1 = kNoDataLabel;
    std::string buttonlabel2 = kNoDataLabel;
    // Window title: "Data Collection Window" after a board capture, the file's path after a
    // file read.
    std::string title = msg::kWindowTitle;
    // Channel whose samples are in sample_data (1 or 2).
    int shownChannel = 1;

    ProgressCallback onProgress;
    int progressReceived() const { return received_.load(); }
    int progressExpected() const { return expected_.load(); }

    // One block. port 6 (kPortUsb): capture `samples` per channel from the board; port 5
    // (kPortDisk): read session.input_file; any other port: nothing, returns 0.
    // A board capture ends with kStatusCancelled when the event pump reports a stop request
    // (before it starts or while it waits for packets).
    // Returns 0; the Fun_USB status (1 when the board was lost); the worker's status (-1 on
    // time-out, else the failing transport status); kStatusBadSampleCount; or
    // kStatusFileError. On any failure the buffers, fs, part, samples and range are as they
    // were before the call. Not guarded by itself: call it inside collectSequence (or hold a
    // BoardClaim) so no other board command interleaves.
    int collect_data(int samples, int port);
    // collect_data(settings.samples, session.port_number); a board capture first takes the
    // count of the chosen sample-count entry (useBoardSampleCount), so a count read from a
    // file never steers the board.
    int captureBlock();
    // settings.samples = the count of settings.samples_index (when the index is valid).
    void useBoardSampleCount();

    // The board steps of one press of the collect button, for every analysis:
    //   claim the board; outside disk mode read the clock divider into fs; wait
    //   seconds_delay; run `acquireAndAnalyse` (collect_data + the analysis, or the FFT's
    //   averaged captures); outside disk mode send 0xA0 and write 0:15 with 0x900000.
    // Returns 0 or the status of the first failing step. After a failed acquisition the
    // 0xA0 and 0:15 steps still run while the board is present (not after a refused sample
    // count, when nothing was sent); other failures skip the later steps. A stop request
    // (the pump's cancel: stop button, Ctrl-C) ends the delay or the capture at once; the
    // commands after the analysis are still sent and kStatusCancelled is returned.
    int collectSequence(const std::function<int()>& acquireAndAnalyse);

    // The steps of collectSequence, for callers that arrange their own sequence:
    // Reads register 0:0 and sets session.fs = xtal_speed x 10^6 / (K x 1024). K = 0 shows
    // msg::kClockDividerZero and returns kStatusNoClockDivider (fs unchanged).
    int readSampleRate();
    // Outside disk mode, waits settings.seconds_delay seconds through the session's clock,
    // processing events after each second. Returns 0, or kStatusCancelled as soon as the
    // event pump reports a stop request.
    int waitSecondsDelay();
    // Outside disk mode: device command 0xA0, then status register 0:15 = 0x900000.
    int afterAnalysis();

    // Shows channel 1 or 2: copies its buffer into sample_data (channel 1 is not copied in
    // disk mode, where sample_data holds the file's block) and sets curv_color.
    void showChannel(int channel);
    // The state of a freshly opened data window: clears the first `samples` elements of the
    // block (disk mode) or of both channels and the block (board mode), resets labels.
    void clearOnOpen();

    // First settings.samples elements of sample_real: the block the analyses take.
    std::span<const double> block() const;
    // First settings.samples elements of sample_data.
    std::span<const std::int32_t> blockCodes() const;

    // Samples per channel of the block in the buffers, as captured or read from a file (0
    // before the first); the collection settings may ask for another count since.
    int capturedSamples = 0;

    // Writers of the block as captured (capturedSamples); false when there is none or the
    // file could not be written (the reason in *error).
    bool writeCaptureFile(const std::string& path, std::string* error = nullptr) const;
    bool writeSampleExport(const std::string& path, std::string* error = nullptr) const;

    // The reception worker (run by BoardLink on its worker thread for command 248).
    int Rcv_Pac(BoardLink& link);

  private:
    // Whether the board is still attached (the capture worker did not lose it).
    bool boardPresent();
    int readFile();
    int captureFromBoard(int samples);

    struct Job {
        std::uint8_t channel1 = 0, channel2 = 0, noisemgmt_off = 0, samples_index = 0,
                     data_delay = 0;
        int expected = 0;  // values (samples x channels)
    };
    Job job_;                            // written before command 248, read by the worker
    std::vector<std::int32_t> staging_;  // written by the worker only
    std::atomic<int> workerResult_{0};
    std::atomic<int> received_{0};
    std::atomic<int> expected_{0};
};

}  // namespace evkit::collection
