#pragma once
// Discrete Fourier transform of a real block of any length.
#include <functional>
#include <span>

namespace evkit::spectrum {

// Full N-point forward transform X[k] = sum x[n] e^(-2 pi j k n / N), unnormalised, of the
// real block in `re` (N = re.size()). On return `re` holds the real parts and `im` the
// imaginary parts of all N bins (the upper half mirrors the lower as complex conjugates).
// `im` must hold at least N elements. Plans are made once per length and shared; calls
// from several threads are serialised.
void ReFFT(std::span<double> re, std::span<double> im);

// re^2 + im^2 per element into `power` (all three of the same length).
void powerSpectrum(std::span<const double> re, std::span<const double> im, std::span<double> power);

// Transform straight to the power per bin: power[k] = |X[k]|^2 for k = 0..N-1 of the real
// block x (power.size() >= x.size()). Same numbers as ReFFT followed by powerSpectrum.
void realPowerSpectrum(std::span<const double> x, std::span<double> power);

// The same for the block x multiplied by the window w (x[i] * w[i], w.size() == x.size()),
// without a copy of the windowed block: the same numbers as windowing x in place first.
void windowedPowerSpectrum(std::span<const double> x, std::span<const double> w,
                           std::span<double> power);

// The power spectrum of the n samples `fill` writes straight into the transform's buffer.
void transformFilled(int n, const std::function<void(std::span<double>)>& fill,
                     std::span<double> power);

}  // namespace evkit::spectrum
