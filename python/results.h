#pragma once
// The results handed to Python: a capture (or a .dat file's block), a spectrum and a
// histogram, each with its numpy arrays and a save() to the program's file formats.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arrays.h"
#include "collection/analysis.h"
#include "errors.h"
#include "module_support.h"
#include "spectrum/freq_test.h"

namespace evkit::python {

struct Capture {
    py::object channel1 = py::none();  // numpy int32
    py::object channel2 = py::none();  // numpy int32, None for a file
    double fs = 0.0;
    py::tuple names = py::make_tuple();
    std::string part;
    std::int32_t range = 0;
    int samples = 0;
    int pair = 0;        // 1..4, 0 for a file
    std::string source;  // "board" or the file read

    py::array_t<std::int32_t, py::array::c_style | py::array::forcecast> channel(int which) const;
    void save(const py::object& path, int which) const;
    void exportSamples(const py::object& path) const;
};

// The numbers of one spectrum. Shared between the Python object and the numpy views of its
// arrays; recycled for the next spectrum of the same size once nothing refers to it.
struct SpectrumData {
    int samples = 0;
    int window = 0;
    double fs = 0.0;
    int range = 0;
    int block = 0;
    int blocks = 0;
    std::string part = "PM7014";  // the part word its file gets by default
    spectrum::SpectralState state;
    spectrum::FftStats stats;
    spectrum::ConverterFigures more;  // the converter figures beside the five (THD 2..9)
    std::vector<double> power;        // bins 0..N-1, linear
    std::vector<double> db;           // bins 0..N/2, dB re the full-scale sine
    std::vector<double> freq;         // bins 0..N/2 in Hz, made on first use
    bool freqReady = false;

    const std::vector<double>& frequencies();
    int fundamentalBin() const { return stats.maxf; }
    double fundamentalHz() const { return fs * (static_cast<double>(stats.maxf) / samples); }
};

// A SpectrumData for `samples` bins: a recycled one when there is one.
std::shared_ptr<SpectrumData> newSpectrumData(int samples);
// Copies what Python shows of `r` into `d` (the arrays keep their storage when the size
// is the same, so views of an out= spectrum stay valid).
void fillSpectrum(SpectrumData& d, const spectrum::SpectrumResult& r);

struct Spectrum {
    std::shared_ptr<SpectrumData> d;

    py::dict figures() const;
    py::list harmonics() const;
    // The converter figures keyed as the CLI prints them; THD over harmonics 2..`harmonics`.
    py::dict moreFigures(int harmonics) const;
    void save(const py::object& path, const std::optional<std::string>& part) const;
};

struct HistogramResult {
    collection::HistResult r;
    int samples = 0;
    py::array_t<std::int32_t> counts;
    py::array_t<double> axis, edges;

    void save(const py::object& path, const std::string& part) const;
};

// The window argument: 0..4 or its name ("blackman-harris", "5-term", "hanning",
// "blackman", "7-term"; case and spaces do not matter).
int windowArg(const py::object& window);
const char* windowName(int window);
// Raises ValueError with the reason an analysis did not give a spectrum.
[[noreturn]] void raiseFftRefused(const spectrum::FftTest& test, const Shown& shown);

}  // namespace evkit::python
