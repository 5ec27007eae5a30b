#include "spectrum/fft_collection.h"

namespace evkit::spectrum {

FftTestSettings fftSettingsOf(const collection::DataCollection& data) {
    FftTestSettings s;
    s.samples = data.settings.samples;
    s.window = data.settings.window;
    s.average = data.settings.average;
    s.fs = data.session.fs;
    s.range = data.session.range;
    return s;
}

int collectAveragedFft(collection::DataCollection& data, FftTest& test, Messages& messages,
                       const FftObserver& observer, const FftCollectionHooks& hooks) {
    // A stop between blocks returns kStatusCancelled from the capture; the sequence then
    // still sends the closing commands to a board that is present.
    return data.collectSequence([&] {
        // The sample rate is read by the sequence before this runs.
        FftTestSettings settings = fftSettingsOf(data);
        if (hooks.sizeControl) settings.sizeControl = hooks.sizeControl;
        return test.freq_test(
            settings,
            [&] {
                if (hooks.stopRequested && hooks.stopRequested()) return kStatusCancelled;
                const int c = data.captureBlock();
                if (c == 0 && hooks.afterCapture) hooks.afterCapture();
                return c;
            },
            data.buffers.sample_real, messages, observer);
    });
}

}  // namespace evkit::spectrum
