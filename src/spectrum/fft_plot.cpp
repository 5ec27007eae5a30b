#include "spectrum/fft_plot.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace evkit::spectrum {

DbSpectrum toDecibels(std::span<const double> power, double maxy, double fs) {
    DbSpectrum out;
    toDecibels(power, maxy, fs, out);
    return out;
}

void toDecibels(std::span<const double> power, double maxy, double fs, DbSpectrum& out) {
    const std::size_t n = power.size();
    const std::size_t h = n / 2;
    out.failedBin = -1;
    if (n == 0) {
        out.db.clear();
        out.freq.clear();
        return;
    }
    out.db.resize(h + 1);
    for (std::size_t k = 0; k <= h; ++k) {
        const double ratio = power[k] / maxy;
        if (ratio > 0.0) {
            out.db[k] = 10.0 * std::log10(ratio);
        } else {
            out.db[k] = kNoPowerDb;
            if (out.failedBin < 0) out.failedBin = static_cast<int>(k);
        }
    }
    // The axis depends on N and fs only.
    const auto fsBits = std::bit_cast<std::uint64_t>(fs);
    if (out.freq.size() == h + 1 && out.freqN == n && out.freqFsBits == fsBits) return;
    out.freq.resize(h + 1);
    for (std::size_t k = 0; k <= h; ++k)
        out.freq[k] = fs * (static_cast<double>(k) / static_cast<double>(n));
    out.freqN = n;
    out.freqFsBits = fsBits;
}

AxisScale axisScale(std::span<const double> db, double fs) {
    AxisScale a;
    a.xMax = fs / 2.0;
    const double lowest = db.empty() ? 0.0 : *std::min_element(db.begin(), db.end());
    const int d = std::max(0, static_cast<int>(std::trunc(-lowest / 20.0)));
    a.yMin = -20.0 * (d + 1);
    a.yMax = 0.0;
    a.yDivisions = d + 1;
    return a;
}

std::array<int, 4> harmonicLabelBins(int maxf, int n) {
    std::array<int, 4> bins{};
    if (n <= 0) return bins;
    const int h = n / 2;
    for (int i = 0; i < 4; ++i) {
        int b = static_cast<int>((static_cast<long long>(i + 2) * maxf) % n);
        if (b > h) b = n - b;
        bins[static_cast<std::size_t>(i)] = b;
    }
    return bins;
}

Annotation annotate(const DbSpectrum& spectrum, const SpectralState& state, int n, double bottom) {
    Annotation a;
    const int h = n / 2;
    if (static_cast<int>(spectrum.db.size()) != h + 1) return a;
    const int f = std::clamp(state.maxf, 0, h);
    auto at = [&](int k) { return static_cast<std::size_t>(k); };

    a.labels.push_back({"F", f, spectrum.freq[at(f)], spectrum.db[at(f)] + 5.0});
    const auto harmonics = harmonicLabelBins(state.maxf, n);
    for (int i = 0; i < 4; ++i) {
        const int b = harmonics[at(i)];
        a.labels.push_back(
            {std::to_string(i + 2), b, spectrum.freq[at(b)], spectrum.db[at(b)] + 12.0});
    }

    auto marked = [&](int j) { return state.dclim < j && j <= h; };
    for (int b : harmonics)
        for (int j = b - state.ndt; j <= b + state.ndt; ++j)
            if (marked(j))
                a.markers.push_back(
                    {j, spectrum.freq[at(j)], bottom, spectrum.db[at(j)], kHarmonicMarkerColour});
    for (int j = f - state.ndt; j <= f + state.ndt; ++j)
        if (marked(j))
            a.markers.push_back(
                {j, spectrum.freq[at(j)], spectrum.db[at(j)], bottom, kFundamentalMarkerColour});

    a.cursorX = spectrum.freq[at(f)];
    a.cursorY = spectrum.db[at(f)];
    return a;
}

}  // namespace evkit::spectrum
