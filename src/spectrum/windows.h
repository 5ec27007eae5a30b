#pragma once
// Data windows of the FFT test. Every window here is the periodic form (divisor N), so a tone
// at an exact bin keeps its energy inside a main lobe of fixed width.
#include <memory>
#include <span>
#include <vector>

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

// A window's coefficient table, kept alive by whoever holds it.
class WindowTable {
  public:
    WindowTable() = default;
    explicit WindowTable(std::shared_ptr<const std::vector<double>> t) : table_(std::move(t)) {}
    std::span<const double> span() const {
        return table_ ? std::span<const double>(*table_) : std::span<const double>();
    }
    operator std::span<const double>() const { return span(); }
    double operator[](std::size_t i) const { return (*table_)[i]; }
    std::size_t size() const { return table_ ? table_->size() : 0; }
    bool empty() const { return size() == 0; }
    const double* begin() const { return span().data(); }
    const double* end() const { return span().data() + size(); }

  private:
    std::shared_ptr<const std::vector<double>> table_;
};

// The coefficients of a selection value 0..4 for length n: computed once per window and
// length and shared for the usual lengths (up to 131072); built for each use above that, so
// a huge block's table is freed after its analysis. Empty for any other value.
WindowTable windowCoefficients(int window, int n);

}  // namespace evkit::spectrum
