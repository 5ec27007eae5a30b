#include "spectrum/freq_test.h"

#include <algorithm>

#include "spectrum/reference_level.h"
#include "spectrum/refft.h"
#include "spectrum/windows.h"
#include "support/messages.h"

namespace evkit::spectrum {

std::string sampleSizeTooSmall(const char* where) {
    return std::string("Sample Size too Small, Increase it using ") + where;
}

std::string noReferencePower(const char* where) {
    return std::string(
               "Sample Size too Small for the full-scale reference tone (it has no "
               "power), Increase it using ") +
           where;
}

std::string sampleSizeRefusal(int samples, const char* where) {
    return samples <= 32 ? sampleSizeTooSmall(where) : std::string();
}

bool FftTest::prepare(const FftTestSettings& settings, std::size_t blockSize, Messages& messages) {
    const int n = settings.samples;
    if (!sampleSizeRefusal(n, settings.sizeControl).empty()) {
        outcome_ = FftOutcome::kTooSmall;
        messages.show(kErrorTitle, sampleSizeTooSmall(settings.sizeControl));
        return false;
    }
    if (blockSize < static_cast<std::size_t>(n)) {
        outcome_ = FftOutcome::kShortBlock;
        messages.show(kErrorTitle, "The sample block is shorter than the sample size");
        return false;
    }
    // Only what this test uses is allocated (a fresh process pays for every page it touches).
    const auto un = static_cast<std::size_t>(n);
    power_.resize(un);

    // The reference goes through the same window and transform as the blocks, so its band
    // power is 0 dB for the chosen window.
    WindowLobe lobe;
    if (windowLobe(settings.window, &lobe)) {
        // With a window the level depends only on (N, window, range).
        state_.ndt = lobe.ndt;
        state_.sldc = lobe.sldc;
        state_.dclim = lobe.ndt + lobe.sldc;
        state_.maxy = referenceLevel(n, settings.window, settings.range, power_);
    } else {
        // Without one the band summed is as wide as the last window's lobe.
        work_.resize(un);
        perfect_sinewave(work_, settings.range);
        fft(state_, settings.window, work_, power_);
        state_.maxy = fundamental(state_, power_, true);
    }
    if (!(state_.maxy > 0.0)) {
        // Every level would be a division by zero.
        outcome_ = FftOutcome::kNoReference;
        messages.show(kErrorTitle, noReferencePower(settings.sizeControl));
        return false;
    }
    return true;
}

void FftTest::transform(const FftTestSettings& settings, std::span<const double> block) {
    WindowLobe lobe;
    if (windowLobe(settings.window, &lobe)) {
        // As fft() does, with the window applied on the way into the transform.
        state_.ndt = lobe.ndt;
        state_.sldc = lobe.sldc;
        state_.dclim = lobe.ndt + lobe.sldc;
        const int n = static_cast<int>(power_.size());
        windowedPowerSpectrum(block.first(power_.size()), windowCoefficients(settings.window, n),
                              power_);
        return;
    }
    work_.resize(power_.size());
    std::copy_n(block.begin(), work_.size(), work_.begin());
    fft(state_, settings.window, work_, power_);
}

void FftTest::scaleNewest(const FftTestSettings& settings, bool report, Messages& messages) {
    toDecibels(power_, state_.maxy, settings.fs, newest_);
    if (newest_.ok())
        axis_ = axisScale(newest_.db, settings.fs);
    else if (report)
        messages.show("", kPlottingError);
}

void FftTest::analyse(const FftTestSettings& settings, int block, int blocks, bool averaged,
                      Messages& messages) {
    // The result's storage is reused from one spectrum to the next.
    if (!last_) last_.emplace();
    SpectrumResult& r = *last_;
    r.samples = settings.samples;
    r.window = settings.window;
    r.fs = settings.fs;
    r.range = settings.range;
    r.block = block;
    r.blocks = blocks;

    r.stats = calculate_fft_stats(state_, power_);
    if (r.stats.fundamentalTooLow) messages.show("", kFundamentalTooLow);
    if (r.stats.fundamentalTooHigh) messages.show("", kFundamentalTooHigh);
    r.state = state_;
    r.more = converterFigures(r.stats, state_, power_, settings.fs, settings.window);

    // The power and the newest block's dB values go to the result by trading storage with
    // it, not by copies: the next block's transform and scaleNewest refill both whole.
    std::swap(r.power, power_);
    power_.resize(r.power.size());
    std::swap(r.newest, newest_);
    // Without averaging the spectrum is the newest block's, already in dB.
    if (averaged)
        toDecibels(r.power, state_.maxy, settings.fs, r.spectrum);
    else
        r.spectrum = r.newest;
    r.axis = axis_;
    r.annotation = {};
    if (r.plotError()) {
        messages.show("", kPlottingError);
    } else {
        const double bottom = axis_ ? axis_->yMin : axisScale(r.spectrum.db, settings.fs).yMin;
        r.annotation = annotate(r.spectrum, state_, settings.samples, bottom);
    }
    outcome_ = FftOutcome::kAnalysed;
}

int FftTest::freq_test(const FftTestSettings& settings, const std::function<int()>& capture,
                       std::span<const double> block, Messages& messages,
                       const FftObserver& observer) {
    if (!prepare(settings, block.size(), messages)) {
        last_.reset();
        return 0;
    }
    if (settings.average < 1) {
        outcome_ = FftOutcome::kNothingToDo;
        return 0;
    }
    if (settings.average > 1) powerSum_.assign(power_.size(), 0.0);
    for (int i = 1; i <= settings.average; ++i) {
        if (observer.blockStarting) observer.blockStarting(i);
        if (const int status = capture(); status != 0) {
            // The last spectrum shown stays, as on the plot.
            outcome_ = FftOutcome::kCaptureFailed;
            return status;
        }
        transform(settings, block);
        // The axes follow the newest block alone.
        scaleNewest(settings, true, messages);

        // Average over linear power per bin.
        if (settings.average > 1) {
            for (std::size_t k = 0; k < power_.size(); ++k) {
                powerSum_[k] += power_[k];
                power_[k] = powerSum_[k] / i;
            }
        }
        analyse(settings, i, settings.average, settings.average > 1, messages);
        if (observer.spectrum) observer.spectrum(*last_);
    }
    return 0;
}

int FftTest::freq_test(const FftTestSettings& settings, std::span<const double> block,
                       Messages& messages, const FftObserver& observer) {
    if (!prepare(settings, block.size(), messages)) {
        last_.reset();
        return 0;
    }
    if (observer.blockStarting) observer.blockStarting(1);
    transform(settings, block);
    // One spectrum, no averaging: the axes are scaled from it; a failure there is not
    // reported, the annotated plot reports it.
    scaleNewest(settings, false, messages);
    analyse(settings, 1, 1, false, messages);
    if (observer.spectrum) observer.spectrum(*last_);
    return 0;
}

std::vector<double> toReal(std::span<const std::int32_t> codes) {
    return std::vector<double>(codes.begin(), codes.end());
}

}  // namespace evkit::spectrum
