#pragma once
// The FFT test on fresh captures from the board: the steps of one press of the collect
// button (claim, sample rate, seconds delay, `average` captures each windowed and averaged,
// closing commands), with a stop between blocks that keeps the spectrum averaged so far and
// still sends the closing commands.
#include <functional>

#include "collection/capture.h"
#include "spectrum/freq_test.h"

namespace evkit::spectrum {

struct FftCollectionHooks {
    // Asked before each capture: true ends the averaging there.
    std::function<bool()> stopRequested;
    // After each successful capture, before its analysis.
    std::function<void()> afterCapture;
    // What a block too short for the analysis tells the user to change (nullptr: the
    // settings button of the data window).
    const char* sizeControl = nullptr;
};

// The test settings of the collection: its sample count, window and average with the
// session's sample rate (as last read) and full scale.
FftTestSettings fftSettingsOf(const collection::DataCollection& data);

// Runs the test with data.settings (samples, window, average) and the session's sample rate
// and full scale. Returns 0; kStatusCancelled when a stop ended the averaging and the closing
// commands were sent (test.last() then holds the blocks averaged so far, if any); or the
// status of the first failing step.
int collectAveragedFft(collection::DataCollection& data, FftTest& test, Messages& messages,
                       const FftObserver& observer = {}, const FftCollectionHooks& hooks = {});

}  // namespace evkit::spectrum
