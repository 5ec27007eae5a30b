#include "spectrum/freq_test.h"

#include <algorithm>

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
    const auto un = static_cast<std::size_t>(n);
    work_.resize(un);
    power_.resize(un);
    powerSum_.assign(un, 0.0);

    // The reference goes through the same window and transform as the blocks, so its band
    // power is 0 dB for the chosen window.
    perfect_sinewave(work_, settings.range);
    fft(state_, settings.window, work_, power_);
    state_.maxy = fundamental(state_, power_, true);
    if (!(state_.maxy > 0.0)) {
        // Every level would be a division by zero.
        outcome_ = FftOutcome::kNoReference;
        messages.show(kErrorTitle, noReferencePower(settings.sizeControl));
        return false;
    }
    return true;
}

void FftTest::transform(const FftTestSettings& settings, std::span<const double> block) {
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

    r.power.assign(power_.begin(), power_.end());
    // Without averaging the spectrum is the newest block's, already in dB.
    if (averaged)
        toDecibels(power_, state_.maxy, settings.fs, r.spectrum);
    else
        r.spectrum = newest_;
    r.newest = newest_;
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
