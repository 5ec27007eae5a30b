#pragma once
// Data windows of the FFT test. Every window here is the periodic form (divisor N), so a tone
// at an exact bin keeps its energy inside a main lobe of fixed width.
#include <span>

namespace evkit::spectrum {

// Window selection values of the data panel.
enum WindowSelection : int {
    kWindowBlackmanHarris = 0,  // 4-term Blackman-Harris, BlkHrsWin
    kWindowTalon = 1,           // 5-term cosine sum, TalonWin
    kWindowHanning = 2,         // HanWin
    kWindowBlackman = 3,        // BkmanWin
    kWindowLumen = 4,           // 7-term cosine sum, LumenWin
};

// Main-lobe half-width in bins and further bins excluded at DC, per window.
struct WindowLobe {
    int ndt = 0;
    int sldc = 0;
};

// The lobe of a selection value 0..4; false for any other value (no window).
bool windowLobe(int window, WindowLobe* lobe);

// Each multiplies x in place by the window of length x.size().
void BlkHrsWin(std::span<double> x);
void TalonWin(std::span<double> x);
void LumenWin(std::span<double> x);
// Hanning: 0.5 - 0.5 cos(2 pi i / N).
void HanWin(std::span<double> x);
// Blackman: 0.42 - 0.5 cos(2 pi i / N) + 0.08 cos(4 pi i / N).
void BkmanWin(std::span<double> x);

// Applies the window of a selection value; any value outside 0..4 leaves x unchanged and
// returns false.
bool applyWindow(int window, std::span<double> x);

// The coefficients of a selection value 0..4 for length n (computed once per window and
// length, then shared). Empty for any other value.
std::span<const double> windowCoefficients(int window, int n);

}  // namespace evkit::spectrum
