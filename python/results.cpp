// The Python classes of the results.
#include "results.h"

#include "module.h"

#include <cstdio>

namespace evkit::python {

namespace {

std::string sixDecimals(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", v);
    return buf;
}

}  // namespace

void registerResults(py::module_& m, BoardClass&) {
    py::class_<Capture>(m, "Capture", "Both channels of a capture, or the block of a .dat file.")
        .def_readonly("channel1", &Capture::channel1, "numpy int32 codes of channel 1")
        .def_readonly("channel2", &Capture::channel2,
                      "numpy int32 codes of channel 2 (None for a file)")
        .def_readonly("fs", &Capture::fs, "sample rate in Hz")
        .def_readonly("names", &Capture::names, "the two quantities' names")
        .def_readonly("part", &Capture::part)
        .def_readonly("range", &Capture::range, "full-scale code")
        .def_readonly("samples", &Capture::samples)
        .def_readonly("source", &Capture::source)
        .def("channel", &Capture::channel, py::arg("which"))
        .def("save", &Capture::save, py::arg("path"), py::arg("channel") = 1,
             "Write one channel as a capture file (.dat).")
        .def("export", &Capture::exportSamples, py::arg("path"),
             "Write both channels as a sample text export.")
        .def("__len__", [](const Capture& c) { return c.samples; })
        .def("__repr__", [](const Capture& c) {
            return "<Capture " + std::to_string(c.samples) + " samples, fs=" + sixDecimals(c.fs) +
                   " Hz, " + c.source + ">";
        });

    py::class_<Spectrum>(m, "Spectrum", "An averaged spectrum and its figures of merit.")
        .def_readonly("power_db", &Spectrum::powerDb, "dB below the full-scale sine, bins 0..N/2")
        .def_readonly("freq_hz", &Spectrum::freqHz, "frequency of each bin of power_db")
        .def_readonly("power", &Spectrum::power, "averaged linear power, bins 0..N-1")
        .def_property_readonly("spn", [](const Spectrum& s) { return s.r.stats.figures.spn; })
        .def_property_readonly("sinad", [](const Spectrum& s) { return s.r.stats.figures.sinad; })
        .def_property_readonly("sd", [](const Spectrum& s) { return s.r.stats.figures.sd; })
        .def_property_readonly("snr", [](const Spectrum& s) { return s.r.stats.figures.snr; })
        .def_property_readonly("fs_pdb", [](const Spectrum& s) { return s.r.stats.figures.fsPdB; })
        .def_property_readonly("figures", &Spectrum::figures)
        .def_property_readonly("fundamental_bin",
                               [](const Spectrum& s) { return s.r.fundamentalBin(); })
        .def_property_readonly("fundamental_hz",
                               [](const Spectrum& s) { return s.r.fundamentalHz(); })
        .def_property_readonly("harmonics", &Spectrum::harmonics)
        // The converter figures beside the five (THD over harmonics 2..9).
        .def_property_readonly("sinad_dbfs", [](const Spectrum& s) { return s.r.more.sinadDbfs; })
        .def_property_readonly("snr_dbfs", [](const Spectrum& s) { return s.r.more.snrDbfs; })
        .def_property_readonly("enob", [](const Spectrum& s) { return s.r.more.enob; })
        .def_property_readonly("thd_dbc", [](const Spectrum& s) { return s.r.more.thdDbc; })
        .def_property_readonly("sfdr_dbc", [](const Spectrum& s) { return s.r.more.sfdrDbc; })
        .def_property_readonly("sfdr_dbfs", [](const Spectrum& s) { return s.r.more.sfdrDbfs; })
        .def_property_readonly("sfdr_spur_hz",
                               [](const Spectrum& s) -> py::object {
                                   if (s.r.more.noSpur) return py::none();
                                   return py::float_(s.r.more.spurHz);
                               })
        .def_property_readonly("nsd_dbfs_hz", [](const Spectrum& s) { return s.r.more.nsdDbfsHz; })
        .def_property_readonly("no_spur", [](const Spectrum& s) { return s.r.more.noSpur; })
        .def("more_figures", &Spectrum::moreFigures, py::arg("harmonics") = 9,
             "The converter figures keyed as the CLI prints them, THD over 2..harmonics.")
        .def_property_readonly("spur_bin", [](const Spectrum& s) { return s.r.stats.spur; })
        .def_property_readonly("warning", [](const Spectrum& s) { return s.r.stats.warning; })
        .def_property_readonly("samples", [](const Spectrum& s) { return s.r.samples; })
        .def_property_readonly("window", [](const Spectrum& s) { return s.r.window; })
        .def_property_readonly("fs", [](const Spectrum& s) { return s.r.fs; })
        .def_property_readonly("range", [](const Spectrum& s) { return s.r.range; })
        .def_property_readonly("blocks", [](const Spectrum& s) { return s.r.block; })
        .def("save", &Spectrum::save, py::arg("path"), py::arg("part") = "PM7014",
             "Write the spectrum file (.fft).")
        .def("__repr__", [](const Spectrum& s) {
            const auto& f = s.r.stats.figures;
            return "<Spectrum N=" + std::to_string(s.r.samples) + " SINAD=" + sixDecimals(f.sinad) +
                   " SNR=" + sixDecimals(f.snr) + ">";
        });

    py::class_<HistogramResult>(m, "Histogram", "Code histogram and statistics of a block.")
        .def_readonly("counts", &HistogramResult::counts)
        .def_readonly("axis", &HistogramResult::axis, "bin positions as the program plots them")
        .def_readonly("edges", &HistogramResult::edges, "len(counts) + 1 bin edges")
        .def_property_readonly("bin_width", [](const HistogramResult& h) { return h.r.bin_width; })
        .def_property_readonly("mean", [](const HistogramResult& h) { return h.r.mean; })
        .def_property_readonly("std_dev", [](const HistogramResult& h) { return h.r.std_dev; })
        .def_property_readonly("variance", [](const HistogramResult& h) { return h.r.variance; })
        .def_property_readonly("maximum", [](const HistogramResult& h) { return h.r.maximum; })
        .def_property_readonly("minimum", [](const HistogramResult& h) { return h.r.minimum; })
        .def("save", &HistogramResult::save, py::arg("path"), py::arg("part") = "PM7014",
             "Write the histogram file (.hit).");
}

}  // namespace evkit::python
