#pragma once
// The level of the full-scale reference tone for one block length, window and full scale:
// it depends on nothing else, so it is computed once and then shared by every analysis.
#include <span>

namespace evkit::spectrum {

// The band power (maxy) of the reference tone of `range` over n samples through window
// 0..4, exactly as perfect_sinewave, fft and fundamental(sumBand) compute it. `scratch`
// (at least n elements) receives the tone's power spectrum when it is computed. Thread-safe.
double referenceLevel(int n, int window, int range, std::span<double> scratch);

}  // namespace evkit::spectrum
