#pragma once
// The FFT test: reference tone, then per block window, transform, averaging in linear power,
// figures of merit and the numbers of the annotated plot. Works on fresh captures or on the
// block already in memory, and reports every averaged spectrum as one value.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "spectrum/analysis.h"
#include "spectrum/converter_figures.h"
#include "spectrum/fft_plot.h"
#include "spectrum/fft_stats.h"

namespace evkit {
class Messages;
}

namespace evkit::spectrum {

inline constexpr const char* kSampleSizeTooSmall =
    "Sample Size too Small, Increase it using the Settings\u2026 button";
inline constexpr const char* kNoReferencePower =
    "Sample Size too Small for the full-scale reference tone (it has no power), "
    "Increase it using the Settings\u2026 button";
inline constexpr const char* kErrorTitle = "Error Message";
// Where a larger sample count is chosen: the window's button (the texts above), the command
// line's option, or another capture file.
inline constexpr const char* kSettingsButton = "the Settings\u2026 button";
std::string sampleSizeTooSmall(const char* where);
std::string noReferencePower(const char* where);
// The refusal of N samples (N <= 32) before anything is captured, or an empty text.
std::string sampleSizeRefusal(int samples, const char* where);

struct FftTestSettings {
    int samples = 0;      // N, block length
    int window = 4;       // 0..4, any other value: no window
    int average = 1;      // blocks to capture and average
    double fs = 1.0;      // sample rate in Hz, for the frequency axis
    int range = 8388608;  // full-scale code
    // Named in the refusal of a sample count too small for the FFT.
    const char* sizeControl = kSettingsButton;
};

// One averaged spectrum with everything derived from it: what the plot, the result displays,
// the command line and the spectrum file show.
struct SpectrumResult {
    int samples = 0;
    int window = 0;
    double fs = 0.0;
    int range = 0;
    int block = 0;   // blocks averaged into this spectrum (1..average)
    int blocks = 0;  // blocks the test averages

    SpectralState state;    // ndt, sldc, dclim (as the figures left it), maxf, maxy, sig2fs
    FftStats stats;         // figures, warning flag, bands
    ConverterFigures more;  // the converter figures beside the five (THD over 2..9)

    std::vector<double> power;  // averaged power per bin, 0..N-1
    DbSpectrum spectrum;        // averaged spectrum, bins 0..H: dB and frequency
    DbSpectrum newest;          // the newest block alone (the bare curve drawn first)
    // Axis range: scaled from the newest block; carried over from the previous block when
    // that one could not be shown in dB; empty when no block could.
    std::optional<AxisScale> axis;
    Annotation annotation;  // labels, markers and cursor; empty when plotError

    // The averaged spectrum cannot be shown in dB ("Plotting Error"); the plot is cleared.
    bool plotError() const { return !spectrum.ok(); }
    // The newest block alone could not be shown ("Plotting Error" before averaging).
    bool newestPlotError() const { return !newest.ok(); }
    int fundamentalBin() const { return stats.maxf; }
    double fundamentalHz() const { return fs * (static_cast<double>(stats.maxf) / samples); }
};

// How the last test ended.
enum class FftOutcome {
    kNotRun,
    kAnalysed,       // at least one spectrum was produced
    kNothingToDo,    // average < 1: no block captured
    kTooSmall,       // N <= 32
    kNoReference,    // the reference tone has no power (N 33..47, or a range of 0)
    kShortBlock,     // the block holds fewer than N samples
    kCaptureFailed,  // a capture returned a non-zero status
};

struct FftObserver {
    // Before block i (1-based) is captured.
    std::function<void(int block)> blockStarting;
    // After each averaged spectrum, before the next capture.
    std::function<void(const SpectrumResult&)> spectrum;
};

class FftTest {
  public:
    // Capture loop: for each of `average` blocks calls `capture`, which returns 0 once the
    // block's first N samples are in `block`, or the non-zero status of a failed capture
    // (its message already shown), which is then returned at once.
    int freq_test(const FftTestSettings& settings, const std::function<int()>& capture,
                  std::span<const double> block, Messages& messages,
                  const FftObserver& observer = {});
    // The block in memory (its first N samples), analysed once.
    int freq_test(const FftTestSettings& settings, std::span<const double> block,
                  Messages& messages, const FftObserver& observer = {});

    const SpectralState& state() const { return state_; }
    FftOutcome outcome() const { return outcome_; }
    // The last spectrum produced (its arrays are what the spectrum file saves). A failed
    // capture or an average below 1 leaves it as it was; a refused block clears it.
    const std::optional<SpectrumResult>& last() const { return last_; }

  private:
    bool prepare(const FftTestSettings& settings, std::size_t blockSize, Messages& messages);
    // Window and transform one block into power_.
    void transform(const FftTestSettings& settings, std::span<const double> block);
    // dB values of the newest block alone and the axes scaled from them.
    void scaleNewest(const FftTestSettings& settings, bool report, Messages& messages);
    // Figures and plot numbers of power_ into last_.
    void analyse(const FftTestSettings& settings, int block, int blocks, bool averaged,
                 Messages& messages);

    SpectralState state_;
    FftOutcome outcome_ = FftOutcome::kNotRun;
    std::optional<SpectrumResult> last_;
    std::optional<AxisScale> axis_;
    std::vector<double> work_;
    std::vector<double> power_;
    std::vector<double> powerSum_;
    DbSpectrum newest_;
};

// The block of sample codes as real numbers.
std::vector<double> toReal(std::span<const std::int32_t> codes);

}  // namespace evkit::spectrum
