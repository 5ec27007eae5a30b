#pragma once
// The results handed to Python: a capture (or a .dat file's block), a spectrum and a
// histogram, each with its numpy arrays and a save() to the program's file formats.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <span>
#include <string>

#include "arrays.h"
#include "collection/analysis.h"
#include "collection/data_files.h"
#include "errors.h"
#include "module_support.h"
#include "spectrum/freq_test.h"

namespace evkit::python {

struct Capture {
    py::object channel1 = py::none();
    py::object channel2 = py::none();
    double fs = 0.0;
    py::tuple names = py::make_tuple();
    std::string part;
    std::int32_t range = 0;
    int samples = 0;
    std::string source;  // "board" or the file read

    py::array_t<std::int32_t, py::array::c_style | py::array::forcecast> channel(int which) const {
        if (which != 1 && which != 2) valueError("channel must be 1 or 2");
        const py::object& c = which == 1 ? channel1 : channel2;
        if (c.is_none()) valueError("this capture holds no channel " + std::to_string(which));
        return py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>::ensure(c);
    }
    void save(const py::object& path, int which) const {
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
    void exportSamples(const py::object& path) const {
        const auto a = channel(1), b = channel(2);
        const std::string p = pathText(path);
        const std::size_t n = static_cast<std::size_t>(samples);
        if (!collection::write_sample_export(p, samples, std::span(a.data(), n),
                                             std::span(b.data(), n)))
            osError("Unable to write the file \"" + p + "\".");
    }
};

struct Spectrum {
    spectrum::SpectrumResult r;
    py::array_t<double> powerDb, freqHz, power;

    // Keeps the figures and copies the three arrays once, straight into numpy's memory.
    explicit Spectrum(const spectrum::SpectrumResult& result) {
        r.samples = result.samples;
        r.window = result.window;
        r.fs = result.fs;
        r.range = result.range;
        r.block = result.block;
        r.blocks = result.blocks;
        r.state = result.state;
        r.stats = result.stats;
        r.more = result.more;
        powerDb = toArray(result.spectrum.db.data(), result.spectrum.db.size());
        freqHz = toArray(result.spectrum.freq.data(), result.spectrum.freq.size());
        power = toArray(result.power.data(), result.power.size());
    }
    py::dict figures() const {
        const auto& f = r.stats.figures;
        py::dict d;
        d["S/PN"] = f.spn;
        d["SINAD"] = f.sinad;
        d["S/D"] = f.sd;
        d["SNR"] = f.snr;
        d["FS-PdB"] = f.fsPdB;
        return d;
    }
    // The converter figures keyed as the CLI prints them; THD over harmonics 2..`harmonics`.
    py::dict moreFigures(int harmonics) const {
        if (harmonics < 2 || harmonics > spectrum::kMaxThdHarmonics)
            throw py::value_error("harmonics must be 2.." +
                                  std::to_string(spectrum::kMaxThdHarmonics));
        const spectrum::ConverterFigures c =
            harmonics == r.more.thdHarmonics
                ? r.more
                : spectrum::converterFigures(
                      r.stats, r.state,
                      std::span(power.data(), static_cast<std::size_t>(power.size())), r.fs,
                      r.window, harmonics);
        py::dict d;
        for (const auto& f : spectrum::namedFigures(c)) d[f.key] = f.value;
        d["THD_harmonics"] = c.thdHarmonics;
        if (c.noSpur) d["SFDR_spur_Hz"] = py::none();
        d["THD_note"] = c.note();
        return d;
    }
    py::list harmonics() const {
        py::list out;
        for (const auto& h : r.stats.harmonics) {
            py::dict d;
            d["harmonic"] = h.harmonic;
            d["lo"] = h.lo;
            d["hi"] = h.hi;
            d["excluded"] = h.excluded;
            d["warned"] = h.warned;
            d["power"] = h.power;
            out.append(d);
        }
        return out;
    }
    void save(const py::object& path, const std::string& part) const {
        const std::string p = pathText(path);
        if (!collection::write_fft_file(
                p, part, static_cast<float>(r.fs), r.samples, r.range,
                std::span(freqHz.data(), static_cast<std::size_t>(freqHz.size())),
                std::span(powerDb.data(), static_cast<std::size_t>(powerDb.size()))))
            osError("Unable to write the file \"" + p + "\".");
    }
};

struct HistogramResult {
    collection::HistResult r;
    int samples = 0;
    py::array_t<std::int32_t> counts;
    py::array_t<double> axis, edges;

    void save(const py::object& path, const std::string& part) const {
        const std::string p = pathText(path);
        if (!collection::write_hit_file(p, part, samples, r))
            osError("Unable to write the file \"" + p + "\".");
    }
};

// Refuses a window number the core does not know.
void checkWindow(int window);
// Raises ValueError with the reason an analysis did not give a spectrum.
[[noreturn]] void raiseFftRefused(const spectrum::FftTest& test, const Shown& shown);

}  // namespace evkit::python
