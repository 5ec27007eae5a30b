// The Python classes of the results: attributes with their units, reprs, notebook tables,
// plots (matplotlib, when installed) and pickling.
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "module.h"
#include "results.h"
#include "support/format.h"

namespace evkit::python {

namespace {

std::string fixed(double v, int decimals = 6) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string htmlTable(const std::string& title,
                      const std::vector<std::pair<std::string, std::string>>& rows) {
    std::string html = "<table><caption>" + escapeMarkup(title) + "</caption>";
    for (const auto& [k, v] : rows)
        html += "<tr><th style=\"text-align:left\">" + escapeMarkup(k) + "</th><td>" +
                escapeMarkup(v) + "</td></tr>";
    return html + "</table>";
}

std::string nameOf(const py::tuple& names, std::size_t i) {
    return names.size() > i ? py::str(names[i]).cast<std::string>() : std::string("-");
}

std::vector<std::pair<std::string, std::string>> captureRows(const Capture& c) {
    return {{"pair", c.pair ? std::to_string(c.pair) : "-"},
            {"names", nameOf(c.names, 0) + ", " + nameOf(c.names, 1)},
            {"part", c.part},
            {"samples", std::to_string(c.samples)},
            {"fs", fixed(c.fs) + " Hz"},
            {"range", std::to_string(c.range)},
            {"source", c.source}};
}

std::vector<std::pair<std::string, std::string>> spectrumRows(const SpectrumData& d) {
    const auto& f = d.stats.figures;
    return {{"window", std::to_string(d.window) + " " + windowName(d.window)},
            {"N", std::to_string(d.samples)},
            {"blocks", std::to_string(d.block) + " of " + std::to_string(d.blocks)},
            {"fundamental",
             fixed(d.fundamentalHz()) + " Hz (bin " + std::to_string(d.fundamentalBin()) + ")"},
            {"S/PN", fixed(f.spn, 3) + " dB"},
            {"SINAD", fixed(f.sinad, 3) + " dB"},
            {"S/D", fixed(f.sd, 3) + " dB"},
            {"SNR", fixed(f.snr, 3) + " dB"},
            {"FS-PdB", fixed(f.fsPdB, 3) + " dB"}};
}

// Axes of a new matplotlib figure, or the given ones.
py::object axesFor(const py::object& ax) {
    if (!ax.is_none()) return ax;
    py::object plt;
    try {
        plt = py::module_::import("matplotlib.pyplot");
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_ImportError)) throw;
        PyErr_SetString(PyExc_ImportError, "plot() needs matplotlib (python3-matplotlib)");
        throw py::error_already_set();
    }
    return plt.attr("subplots")().attr("__getitem__")(1);
}

py::object plotCapture(const Capture& c, const py::object& ax) {
    py::object a = axesFor(ax);
    a.attr("plot")(c.channel1, py::arg("label") = nameOf(c.names, 0));
    if (!c.channel2.is_none()) a.attr("plot")(c.channel2, py::arg("label") = nameOf(c.names, 1));
    a.attr("set_xlabel")("sample");
    a.attr("set_ylabel")("code");
    a.attr("set_title")(std::to_string(c.samples) + " samples at " + fixed(c.fs, 3) + " Hz");
    a.attr("legend")();
    return a;
}

static_assert(std::is_trivially_copyable_v<spectrum::FftStats> &&
              std::is_trivially_copyable_v<spectrum::SpectralState>);

template <class T>
py::bytes rawBytes(const T& v) {
    return py::bytes(reinterpret_cast<const char*>(&v), sizeof v);
}
template <class T>
void fromBytes(const py::bytes& b, T& v) {
    const std::string s = b;
    if (s.size() != sizeof v) valueError("the pickled spectrum is from another build");
    std::memcpy(&v, s.data(), sizeof v);
}

py::tuple spectrumState(const Spectrum& s) {
    const SpectrumData& d = *s.d;
    return py::make_tuple(d.samples, d.window, d.fs, d.range, d.block, d.blocks, rawBytes(d.state),
                          rawBytes(d.stats), toArray(d.power.data(), d.power.size()),
                          toArray(d.db.data(), d.db.size()), d.part);
}

Spectrum spectrumFromState(const py::tuple& t) {
    if (t.size() != 11) valueError("not a pickled Spectrum");
    Spectrum s;
    s.d = newSpectrumData(t[0].cast<int>());
    SpectrumData& d = *s.d;
    d.samples = t[0].cast<int>();
    d.window = t[1].cast<int>();
    d.fs = t[2].cast<double>();
    d.range = t[3].cast<int>();
    d.block = t[4].cast<int>();
    d.blocks = t[5].cast<int>();
    fromBytes(t[6].cast<py::bytes>(), d.state);
    fromBytes(t[7].cast<py::bytes>(), d.stats);
    const auto power = t[8].cast<RealBlock>();
    const auto db = t[9].cast<RealBlock>();
    d.power.assign(power.data(), power.data() + power.size());
    d.db.assign(db.data(), db.data() + db.size());
    d.part = t[10].cast<std::string>();
    d.freqReady = false;
    d.more = spectrum::converterFigures(d.stats, d.state, std::span(d.power.data(), d.power.size()),
                                        d.fs, d.window, spectrum::kDefaultThdHarmonics);
    return s;
}

}  // namespace

void registerResults(py::module_& m, BoardClass&) {
    py::class_<Capture>(m, "Capture",
                        "Both channels of a capture, or the block of a .dat file.\n\n"
                        "np.asarray(capture) gives the 2 x N int32 array of the two channels.")
        .def_readonly("channel1", &Capture::channel1,
                      "Channel 1 as numpy int32 codes (full scale is `range`).")
        .def_readonly("channel2", &Capture::channel2,
                      "Channel 2 as numpy int32 codes; None for a capture read from a file.")
        .def_readonly("fs", &Capture::fs, "Sample rate in Hz.")
        .def_readonly("names", &Capture::names, "The two quantities' names, e.g. ('V1', 'I1').")
        .def_readonly("part", &Capture::part, "The part word of the capture file, e.g. 'PM7014'.")
        .def_readonly("range", &Capture::range, "Full-scale code (8388608 for 24 bits).")
        .def_readonly("samples", &Capture::samples, "Samples per channel.")
        .def_readonly("pair", &Capture::pair, "Quantity pair 1..4; 0 for a file.")
        .def_readonly("source", &Capture::source, "'board', or the path of the file read.")
        .def("channel", &Capture::channel, py::arg("which"),
             "Channel 1 or 2 as numpy int32 codes. Raises ValueError for another number or a "
             "channel the capture does not hold.")
        .def("save", &Capture::save, py::arg("path"), py::arg("channel") = 1,
             "Write one channel as a capture file (.dat). Raises OSError naming the path.")
        .def("export", &Capture::exportSamples, py::arg("path"),
             "Write both channels as a sample text export. Raises OSError naming the path.")
        .def("plot", &plotCapture, py::arg("ax") = py::none(),
             "Plot both channels with matplotlib (on `ax`, or a new figure); returns the axes.")
        .def("__len__", [](const Capture& c) { return c.samples; })
        .def(
            "__array__",
            [](const Capture& c, const py::object& dtype) {
                py::object np = py::module_::import("numpy");
                py::object rows = c.channel2.is_none() ? py::object(py::make_tuple(c.channel1))
                                                       : py::make_tuple(c.channel1, c.channel2);
                py::object a = np.attr("stack")(rows);
                return dtype.is_none() ? a : a.attr("astype")(dtype);
            },
            py::arg("dtype") = py::none())
        .def("__repr__",
             [](const Capture& c) {
                 return "<Capture pair=" + std::to_string(c.pair) + " names=(" +
                        nameOf(c.names, 0) + ", " + nameOf(c.names, 1) + ") part=" + c.part +
                        " samples=" + std::to_string(c.samples) + " fs=" + fixed(c.fs) +
                        " Hz source=" + c.source + ">";
             })
        .def("_repr_html_", [](const Capture& c) { return htmlTable("Capture", captureRows(c)); })
        .def(py::pickle(
            [](const Capture& c) {
                return py::make_tuple(c.channel1, c.channel2, c.fs, c.names, c.part, c.range,
                                      c.samples, c.pair, c.source);
            },
            [](const py::tuple& t) {
                if (t.size() != 9) valueError("not a pickled Capture");
                Capture c;
                c.channel1 = t[0];
                c.channel2 = t[1];
                c.fs = t[2].cast<double>();
                c.names = t[3].cast<py::tuple>();
                c.part = t[4].cast<std::string>();
                c.range = t[5].cast<std::int32_t>();
                c.samples = t[6].cast<int>();
                c.pair = t[7].cast<int>();
                c.source = t[8].cast<std::string>();
                return c;
            }));

    py::class_<Spectrum>(m, "Spectrum",
                         "An averaged spectrum and its figures of merit (dB re full scale).\n\n"
                         "The arrays are read-only views of the result, made without copying.")
        .def_property_readonly(
            "power_db", [](const Spectrum& s) { return viewOf(s.d->db, s.d); },
            "Power of bins 0..N/2 in dB relative to the full-scale sine.")
        .def_property_readonly(
            "freq_hz", [](const Spectrum& s) { return viewOf(s.d->frequencies(), s.d); },
            "Frequency of each bin of power_db in Hz (fs * k / N).")
        .def_property_readonly(
            "power", [](const Spectrum& s) { return viewOf(s.d->power, s.d); },
            "Averaged linear power of bins 0..N-1 (the full-scale reference tone's band sums "
            "to 1).")
        .def_property_readonly(
            "spn", [](const Spectrum& s) { return s.d->stats.figures.spn; },
            "S/PN: signal to largest spur, dB.")
        .def_property_readonly(
            "sinad", [](const Spectrum& s) { return s.d->stats.figures.sinad; },
            "SINAD: signal to noise and distortion, dB.")
        .def_property_readonly(
            "sd", [](const Spectrum& s) { return s.d->stats.figures.sd; },
            "S/D: signal to harmonic distortion, dB.")
        .def_property_readonly(
            "snr", [](const Spectrum& s) { return s.d->stats.figures.snr; },
            "SNR: signal to noise without harmonics, dB.")
        .def_property_readonly(
            "fs_pdb", [](const Spectrum& s) { return s.d->stats.figures.fsPdB; },
            "FS-PdB: fundamental below full scale, dB.")
        .def_property_readonly("figures", &Spectrum::figures,
                               "The five figures in dB, keyed as the command line prints them.")
        .def_property_readonly(
            "fundamental_bin", [](const Spectrum& s) { return s.d->fundamentalBin(); },
            "Bin of the fundamental.")
        .def_property_readonly(
            "fundamental_hz", [](const Spectrum& s) { return s.d->fundamentalHz(); },
            "Frequency of the fundamental's bin in Hz.")
        .def_property_readonly("harmonics", &Spectrum::harmonics,
                               "Harmonic bands 2..5: dicts harmonic, lo, hi, excluded, warned, "
                               "power (linear).")
        // The converter figures beside the five (THD over harmonics 2..9).
        .def_property_readonly(
            "sinad_dbfs", [](const Spectrum& s) { return s.d->more.sinadDbfs; },
            "SINAD referred to full scale (SINAD + FS-PdB), dBFS.")
        .def_property_readonly(
            "snr_dbfs", [](const Spectrum& s) { return s.d->more.snrDbfs; },
            "SNR referred to full scale (SNR + FS-PdB), dBFS.")
        .def_property_readonly(
            "enob", [](const Spectrum& s) { return s.d->more.enob; },
            "Effective number of bits, (SINAD_dBFS - 1.76) / 6.02.")
        .def_property_readonly(
            "thd_dbc", [](const Spectrum& s) { return s.d->more.thdDbc; },
            "Total harmonic distortion of harmonics 2..9 (folded into 0..fs/2), dBc.")
        .def_property_readonly(
            "sfdr_dbc", [](const Spectrum& s) { return s.d->more.sfdrDbc; },
            "Spurious-free dynamic range against the fundamental, dBc (inf: no spur).")
        .def_property_readonly(
            "sfdr_dbfs", [](const Spectrum& s) { return s.d->more.sfdrDbfs; },
            "Spurious-free dynamic range against full scale, dBFS (inf: no spur).")
        .def_property_readonly(
            "sfdr_spur_hz",
            [](const Spectrum& s) -> py::object {
                if (s.d->more.noSpur) return py::none();
                return py::float_(s.d->more.spurHz);
            },
            "Frequency of the largest spur in Hz (None: no spur).")
        .def_property_readonly(
            "nsd_dbfs_hz", [](const Spectrum& s) { return s.d->more.nsdDbfsHz; },
            "Noise spectral density referred to full scale, dBFS/Hz.")
        .def_property_readonly(
            "no_spur", [](const Spectrum& s) { return s.d->more.noSpur; },
            "True when no spur lies outside the fundamental band and the DC region.")
        .def("more_figures", &Spectrum::moreFigures, py::arg("harmonics") = 9,
             "The converter figures keyed as the command line prints them, THD over "
             "2..harmonics. Raises ValueError for harmonics outside 2..50.")
        .def_property_readonly(
            "spur_bin", [](const Spectrum& s) { return s.d->stats.spur; },
            "Bin of the largest spur (-1: none).")
        .def_property_readonly(
            "warning", [](const Spectrum& s) { return s.d->stats.warning; },
            "True when a band had to be cut or a message was raised.")
        .def_property_readonly(
            "samples", [](const Spectrum& s) { return s.d->samples; }, "N, the block length.")
        .def_property_readonly(
            "window", [](const Spectrum& s) { return s.d->window; }, "FFT window 0..4.")
        .def_property_readonly(
            "window_name", [](const Spectrum& s) { return windowName(s.d->window); },
            "The window's name, e.g. '7-term'.")
        .def_property_readonly(
            "fs", [](const Spectrum& s) { return s.d->fs; }, "Sample rate in Hz.")
        .def_property_readonly(
            "range", [](const Spectrum& s) { return s.d->range; }, "Full-scale code.")
        .def_property_readonly(
            "blocks", [](const Spectrum& s) { return s.d->block; }, "Blocks averaged.")
        .def("save", &Spectrum::save, py::arg("path"), py::arg("part") = py::none(),
             "Write the spectrum file (.fft); part: its part word (default: the device's "
             "family for a board's spectrum, PM7014 for an array's). Raises OSError naming "
             "the path.")
        .def(
            "plot",
            [](const Spectrum& s, const py::object& ax) {
                py::object a = axesFor(ax);
                a.attr("plot")(viewOf(s.d->frequencies(), s.d), viewOf(s.d->db, s.d));
                a.attr("set_xlabel")("frequency (Hz)");
                a.attr("set_ylabel")("dB re full scale");
                a.attr("set_title")("SINAD " + fixed(s.d->stats.figures.sinad, 2) + " dB, SNR " +
                                    fixed(s.d->stats.figures.snr, 2) + " dB");
                return a;
            },
            py::arg("ax") = py::none(),
            "Plot power_db over freq_hz with matplotlib (on `ax`, or a new figure); returns "
            "the axes.")
        .def("__repr__",
             [](const Spectrum& s) {
                 const SpectrumData& d = *s.d;
                 const auto& f = d.stats.figures;
                 return "<Spectrum window=" + std::to_string(d.window) + " (" +
                        windowName(d.window) + ") N=" + std::to_string(d.samples) +
                        " blocks=" + std::to_string(d.block) +
                        " fundamental=" + fixed(d.fundamentalHz()) + " Hz S/PN=" + fixed(f.spn) +
                        " SINAD=" + fixed(f.sinad) + " S/D=" + fixed(f.sd) +
                        " SNR=" + fixed(f.snr) + " FS-PdB=" + fixed(f.fsPdB) + ">";
             })
        .def("_repr_html_",
             [](const Spectrum& s) { return htmlTable("Spectrum", spectrumRows(*s.d)); })
        .def(py::pickle(&spectrumState, &spectrumFromState));

    py::class_<HistogramResult>(m, "Histogram", "Code histogram and statistics of a block.")
        .def_readonly("counts", &HistogramResult::counts, "numpy int32 count of each bin.")
        .def_readonly("axis", &HistogramResult::axis,
                      "Bin positions in codes, as the program plots them.")
        .def_readonly("edges", &HistogramResult::edges, "len(counts) + 1 bin edges in codes.")
        .def_property_readonly(
            "bin_width", [](const HistogramResult& h) { return h.r.bin_width; }, "Codes per bin.")
        .def_property_readonly(
            "mean", [](const HistogramResult& h) { return h.r.mean; }, "Mean in codes.")
        .def_property_readonly(
            "std_dev", [](const HistogramResult& h) { return h.r.std_dev; },
            "Standard deviation in codes.")
        .def_property_readonly(
            "variance", [](const HistogramResult& h) { return h.r.variance; },
            "Variance in codes squared.")
        .def_property_readonly(
            "maximum", [](const HistogramResult& h) { return h.r.maximum; }, "Largest code.")
        .def_property_readonly(
            "minimum", [](const HistogramResult& h) { return h.r.minimum; }, "Smallest code.")
        .def("save", &HistogramResult::save, py::arg("path"), py::arg("part") = "PM7014",
             "Write the histogram file (.hit). Raises OSError naming the path.")
        .def("__len__", [](const HistogramResult& h) { return h.r.bins(); })
        .def("__repr__", [](const HistogramResult& h) {
            return "<Histogram samples=" + std::to_string(h.samples) +
                   " bins=" + std::to_string(h.r.bins()) +
                   " bin_width=" + std::to_string(h.r.bin_width) + " mean=" + fixed(h.r.mean) +
                   " std_dev=" + fixed(h.r.std_dev) + " min=" + fixed(h.r.minimum, 0) +
                   " max=" + fixed(h.r.maximum, 0) + ">";
        });
}

}  // namespace evkit::python
