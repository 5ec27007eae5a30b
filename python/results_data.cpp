// The results' own work: files, the spectrum's storage and the window names.
#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <cctype>
#include <mutex>
#include <span>

#include "collection/data_files.h"
#include "results.h"

namespace evkit::python {

py::array_t<std::int32_t, py::array::c_style | py::array::forcecast> Capture::channel(
    int which) const {
    if (which != 1 && which != 2) valueError("channel must be 1 or 2");
    const py::object& c = which == 1 ? channel1 : channel2;
    if (c.is_none()) valueError("this capture holds no channel " + std::to_string(which));
    return py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>::ensure(c);
}

void Capture::save(const py::object& path, int which) const {
    const auto codes = channel(which);
    const std::string p = pathText(path);
    bool ok = false;
    {
        py::gil_scoped_release release;
        ok = collection::write_capture_file(
            p, part, static_cast<float>(fs), samples, range,
            std::span<const std::int32_t>(codes.data(), static_cast<std::size_t>(samples)));
    }
    if (!ok) osError("Unable to write the file \"" + p + "\".");
}

void Capture::exportSamples(const py::object& path) const {
    const auto a = channel(1), b = channel(2);
    const std::string p = pathText(path);
    const std::size_t n = static_cast<std::size_t>(samples);
    if (!collection::write_sample_export(p, samples, std::span(a.data(), n),
                                         std::span(b.data(), n)))
        osError("Unable to write the file \"" + p + "\".");
}

const std::vector<double>& SpectrumData::frequencies() {
    if (!freqReady) {
        // As the core computes its axis: fs * (k / N).
        freq.resize(db.size());
        for (std::size_t k = 0; k < freq.size(); ++k)
            freq[k] = fs * (static_cast<double>(k) / static_cast<double>(samples));
        freqReady = true;
    }
    return freq;
}

namespace {

// Spectra of the usual sizes whose Python objects are gone, kept for the next spectrum so
// that repeated analyses reuse their memory instead of asking the system for it again.
// Larger ones are given back at once.
constexpr std::size_t kSpareSpectra = 4;
constexpr int kLargestRecycled = 65536;
std::mutex spareMutex;
std::vector<std::unique_ptr<SpectrumData>>& spares() {
    static auto* list = new std::vector<std::unique_ptr<SpectrumData>>();  // lives to the end
    return *list;
}

void recycle(SpectrumData* d) {
    std::unique_ptr<SpectrumData> owned(d);
    if (d->samples > kLargestRecycled) {
        owned.reset();
#if defined(__GLIBC__)
        malloc_trim(0);  // a huge result's memory goes back to the system at once
#endif
        return;
    }
    std::lock_guard lock(spareMutex);
    if (spares().size() < kSpareSpectra) spares().push_back(std::move(owned));
}

}  // namespace

std::shared_ptr<SpectrumData> newSpectrumData(int samples) {
    {
        std::lock_guard lock(spareMutex);
        auto& list = spares();
        auto it = std::find_if(list.begin(), list.end(),
                               [&](const auto& d) { return d->samples == samples; });
        if (it == list.end() && !list.empty()) it = list.begin();
        if (it != list.end()) {
            SpectrumData* d = it->release();
            list.erase(it);
            return std::shared_ptr<SpectrumData>(d, recycle);
        }
    }
    return std::shared_ptr<SpectrumData>(new SpectrumData, recycle);
}

void fillSpectrum(SpectrumData& d, const spectrum::SpectrumResult& r) {
    d.part = "PM7014";  // a board's spectrum sets its device's family after
    d.samples = r.samples;
    d.window = r.window;
    d.fs = r.fs;
    d.range = r.range;
    d.block = r.block;
    d.blocks = r.blocks;
    d.state = r.state;
    d.stats = r.stats;
    d.more = r.more;
    d.power.assign(r.power.begin(), r.power.end());
    d.db.assign(r.spectrum.db.begin(), r.spectrum.db.end());
    d.freqReady = false;
    if (!d.freq.empty()) d.frequencies();  // views of the old axis see the new one
}

py::dict Spectrum::figures() const {
    const auto& f = d->stats.figures;
    py::dict out;
    out["S/PN"] = f.spn;
    out["SINAD"] = f.sinad;
    out["S/D"] = f.sd;
    out["SNR"] = f.snr;
    out["FS-PdB"] = f.fsPdB;
    return out;
}

py::dict Spectrum::moreFigures(int harmonics) const {
    if (harmonics < 2 || harmonics > spectrum::kMaxThdHarmonics)
        valueError("harmonics must be 2.." + std::to_string(spectrum::kMaxThdHarmonics));
    const spectrum::ConverterFigures c =
        harmonics == d->more.thdHarmonics
            ? d->more
            : spectrum::converterFigures(d->stats, d->state,
                                         std::span(d->power.data(), d->power.size()), d->fs,
                                         d->window, harmonics);
    py::dict out;
    for (const auto& f : spectrum::namedFigures(c)) out[f.key] = f.value;
    out["THD_harmonics"] = c.thdHarmonics;
    if (c.noSpur) out["SFDR_spur_Hz"] = py::none();
    out["THD_note"] = c.note();
    return out;
}

py::list Spectrum::harmonics() const {
    py::list out;
    for (const auto& h : d->stats.harmonics) {
        py::dict e;
        e["harmonic"] = h.harmonic;
        e["lo"] = h.lo;
        e["hi"] = h.hi;
        e["excluded"] = h.excluded;
        e["warned"] = h.warned;
        e["power"] = h.power;
        out.append(e);
    }
    return out;
}

void Spectrum::save(const py::object& path, const std::optional<std::string>& partWord) const {
    const std::string p = pathText(path);
    const std::string& part = partWord ? *partWord : d->part;
    const auto& freq = d->frequencies();
    if (!collection::write_fft_file(p, part, static_cast<float>(d->fs), d->samples, d->range,
                                    std::span(freq.data(), freq.size()),
                                    std::span(d->db.data(), d->db.size())))
        osError("Unable to write the file \"" + p + "\".");
}

void HistogramResult::save(const py::object& path, const std::string& part) const {
    const std::string p = pathText(path);
    if (!collection::write_hit_file(p, part, samples, r))
        osError("Unable to write the file \"" + p + "\".");
}

namespace {

constexpr const char* kWindowNames[] = {"blackman-harris", "5-term", "hanning", "blackman",
                                        "7-term"};

}  // namespace

const char* windowName(int window) {
    return window >= 0 && window <= 4 ? kWindowNames[window] : "none";
}

int windowArg(const py::object& window) {
    if (py::isinstance<py::str>(window)) {
        std::string name;
        for (char c : window.cast<std::string>())
            name += c == ' ' || c == '_' ? '-' : static_cast<char>(std::tolower(c));
        if (name == "hann") name = "hanning";
        for (int i = 0; i <= 4; ++i)
            if (name == kWindowNames[i]) return i;
        valueError("unknown window '" + window.cast<std::string>() +
                   "' (known: 0 blackman-harris, 1 5-term, 2 hanning, 3 blackman, 4 7-term)");
    }
    const long long w = intArg(window, "window");
    if (w < 0 || w > 4) valueError("window must be 0..4 or a window's name");
    return static_cast<int>(w);
}

}  // namespace evkit::python
