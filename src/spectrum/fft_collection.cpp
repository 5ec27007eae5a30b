#include "spectrum/fft_collection.h"

#include "board/board_link.h"

namespace evkit::spectrum {

int collectAveragedFft(collection::DataCollection& data, FftTest& test, Messages& messages,
                       const FftObserver& observer, const FftCollectionHooks& hooks) {
    bool stopped = false;
    int status = data.collectSequence([&] {
        // The sample rate is read by the sequence before this runs.
        FftTestSettings s;
        s.samples = data.settings.samples;
        s.window = data.settings.window;
        s.average = data.settings.average;
        s.fs = data.session.fs;
        s.range = data.session.range;
        return test.freq_test(
            s,
            [&] {
                if (hooks.stopRequested && hooks.stopRequested()) {
                    stopped = true;
                    return kStatusCancelled;
                }
                const int c = data.captureBlock();
                if (c == 0 && hooks.afterCapture) hooks.afterCapture();
                return c;
            },
            data.buffers.sample_real, messages, observer);
    });
    if (status == kStatusCancelled && stopped) {
        // Stopped between blocks: the device still gets its commands after the analysis.
        BoardClaim claim(data.session.link, "data collection");
        if (!claim.ok()) return kStatusBusy;
        if (const int s = data.afterAnalysis(); s != 0) return s;
    }
    return status;
}

}  // namespace evkit::spectrum
