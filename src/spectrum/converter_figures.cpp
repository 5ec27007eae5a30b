#include "spectrum/converter_figures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <utility>

#include "spectrum/windows.h"
#include "support/format.h"

namespace evkit::spectrum {

namespace {

constexpr double kPowerFloor = 1e-20;  // the five's lowest power taken into a logarithm

double dB(double x) {
    return 10.0 * std::log10(x);
}

double computeNoiseBandwidth(int window, int n) {
    const auto w = windowCoefficients(window, n);
    if (w.empty()) return 1.0;
    double sum = 0.0;
    double squares = 0.0;
    for (double v : w) {
        sum += v;
        squares += v * v;
    }
    return sum != 0.0 ? n * squares / (sum * sum) : 1.0;
}

}  // namespace

std::string ConverterFigures::note() const {
    std::string out;
    for (const ThdBand& b : bands) {
        if (b.leftOut.empty()) continue;
        if (!out.empty()) out += "; ";
        out += strprintf("harmonic %d left out (%s)", b.harmonic, b.leftOut.c_str());
    }
    return out;
}

std::vector<NamedFigure> namedFigures(const ConverterFigures& c) {
    std::vector<NamedFigure> out = {
        {"SINAD_dBFS", c.sinadDbfs}, {"SNR_dBFS", c.snrDbfs}, {"ENOB", c.enob},
        {"THD_dBc", c.thdDbc},       {"SFDR_dBc", c.sfdrDbc}, {"SFDR_dBFS", c.sfdrDbfs}};
    if (!c.noSpur) out.push_back({"SFDR_spur_Hz", c.spurHz});
    out.push_back({"NSD_dBFS_Hz", c.nsdDbfsHz});
    return out;
}

double equivalentNoiseBandwidth(int window, int n) {
    // One pass over the window per (window, length), then shared.
    static std::mutex mutex;
    static std::map<std::pair<int, int>, double> known;
    std::lock_guard lock(mutex);
    if (auto it = known.find({window, n}); it != known.end()) return it->second;
    if (known.size() >= 256) known.clear();
    return known[{window, n}] = computeNoiseBandwidth(window, n);
}

ConverterFigures converterFigures(const FftStats& stats, const SpectralState& state,
                                  std::span<const double> power, double fs, int window,
                                  int harmonics) {
    ConverterFigures c;
    const int n = static_cast<int>(power.size());
    const int h = n / 2;
    const FftFigures& five = stats.figures;
    c.sinadDbfs = five.sinad + five.fsPdB;
    c.snrDbfs = five.snr + five.fsPdB;
    c.enob = (c.sinadDbfs - 1.76) / 6.02;
    c.enbwBins = equivalentNoiseBandwidth(window, n);
    // The noise of SNR is the power of the whole band 0..fs/2 against the full-scale tone's
    // main lobe. Each bin holds the noise of ENBW * fs / N hertz, and the tone's lobe sums to
    // ENBW times its peak bin, so the two ENBW factors cancel in the density per hertz.
    c.nsdDbfsHz = fs > 0.0 ? -c.snrDbfs - dB(fs / 2.0) : std::numeric_limits<double>::quiet_NaN();
    if (h < 4) return c;

    auto sum = [&](int lo, int hi) {
        double s = 0.0;
        for (int k = std::max(lo, 0); k <= std::min(hi, n - 1); ++k)
            s += power[static_cast<std::size_t>(k)];
        return s;
    };
    const double pf = stats.fundamentalPower;
    const int f = stats.maxf;
    const int dclim = stats.dclim;

    // SFDR: the spur band of the five (the largest bin outside the fundamental band and the
    // DC region, harmonic or not) without the floor the five put under an empty band.
    const double spur = stats.spur >= 0 ? sum(stats.lo_s, stats.hi_s) : 0.0;
    c.noSpur = !(spur >= kPowerFloor);
    if (c.noSpur) {
        c.sfdrDbc = c.sfdrDbfs = std::numeric_limits<double>::infinity();
    } else {
        c.sfdrDbc = dB(pf) - dB(spur);
        c.sfdrDbfs = dB(state.maxy) - dB(spur);
        c.spurHz = fs * (static_cast<double>(stats.spur) / n);
    }

    // THD: bands as wide as the fundamental's (2 ndt + 2 bins, shifted the same way), centred
    // on each harmonic folded into 0..N/2; a mirrored harmonic has its shift mirrored too.
    c.thdHarmonics = std::clamp(harmonics, 2, kMaxThdHarmonics);
    const int below = state.ndt + 1 - stats.skew;  // bins of the band below its centre
    const int above = state.ndt + stats.skew;      // and above it
    double distortion = 0.0;
    bool counted = false;
    for (int k = 2; k <= c.thdHarmonics; ++k) {
        ThdBand b;
        b.harmonic = k;
        const long long raw = static_cast<long long>(k) * f % n;
        b.aliased = static_cast<long long>(k) * f > h;
        if (raw <= h) {
            b.bin = static_cast<int>(raw);
            b.lo = b.bin - below;
            b.hi = b.bin + above;
        } else {
            b.bin = n - static_cast<int>(raw);
            b.lo = b.bin - above;
            b.hi = b.bin + below;
        }
        // Past H the band's bins are the mirrors of bins already in it.
        b.hi = std::min(b.hi, h);
        if (b.lo <= dclim) {
            b.leftOut = "in the DC region";
        } else if (b.lo <= stats.hi_f && b.hi >= stats.lo_f) {
            b.leftOut = "on the fundamental band";
        } else {
            for (const ThdBand& e : c.bands) {
                if (e.leftOut.empty() && b.lo <= e.hi && b.hi >= e.lo) {
                    b.leftOut = strprintf("on the band of harmonic %d", e.harmonic);
                    break;
                }
            }
        }
        if (b.leftOut.empty()) {
            b.power = sum(b.lo, b.hi);
            distortion += b.power;
            counted = true;
        }
        c.bands.push_back(std::move(b));
    }
    c.thdDbc = counted && distortion > 0.0 ? dB(distortion) - dB(pf)
                                           : -std::numeric_limits<double>::infinity();
    return c;
}

}  // namespace evkit::spectrum
