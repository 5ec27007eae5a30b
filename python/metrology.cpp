// Engineering units (board.scaling), the virtual board's source (board.source) and the energy
// accuracy test (board.accuracy).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <string>

#include "board.h"
#include "metrology/accuracy_output.h"
#include "metrology/accuracy_run.h"
#include "metrology/source_settings.h"
#include "sim/virtual_board.h"
#include "support/file_writer.h"

namespace evkit::python {

using namespace evkit::metrology;

void setIdeal(Board& b) {
    if (auto* board = virtualBoardOf(*b.base_)) board->setErrorModel(sim::ErrorModel{});
}

namespace {

sim::VirtualBoard& virtualBoard(Board& b) {
    b.ensureOpen();
    auto* board = virtualBoardOf(*b.base_);
    if (!board)
        throw py::value_error(
            "the programmable source belongs to the virtual board (open(\"sim\")); a real "
            "board's source is the bench's own");
    return *board;
}

py::dict scalingDict(const Scaling& s) {
    py::dict d;
    d["scale_v1"] = s.channel[0].volts;
    d["scale_i1"] = s.channel[0].amperes;
    d["scale_v2"] = s.channel[1].volts;
    d["scale_i2"] = s.channel[1].amperes;
    d["meter_constant"] = s.meterConstant;
    return d;
}

void setScaling(Board& b, const py::dict& d) {
    Scaling s = b.scaling_;
    for (const auto& [k, v] : d) {
        std::string key = py::cast<std::string>(k);
        for (auto& c : key)
            if (c == '_') c = '-';
        std::string why;
        if (!setScalingValue(s, key, py::cast<double>(v), &why)) throw py::value_error(why);
    }
    b.locked([&] { b.scaling_ = s; });  // all or nothing, never beside a running call
}

py::dict readingsDict(const sim::SignalSource& s, const Scaling& scaling) {
    py::dict d;
    d["description"] = describeSource(s, scaling);
    for (int c = 1; c <= 2; ++c) {
        const auto r = exactReadings(s, scaling, c);
        const std::string n = std::to_string(c);
        d[py::str("V" + n + "RMS_V")] = r.vrms;
        d[py::str("I" + n + "RMS_A")] = r.irms;
        d[py::str("P" + n + "_W")] = r.p;
        d[py::str("Q" + n + "_var")] = r.q;
        d[py::str("S" + n + "_VA")] = r.s;
        d[py::str("PF" + n)] = r.pf;
    }
    return d;
}

struct SourceControls {
    std::shared_ptr<Board> board;

    py::dict get() {
        return board->locked(
            [&] { return readingsDict(virtualBoard(*board).signal(), board->scaling_); });
    }

    // set("V1=230V I1=5A PF=0.5L f=50") or set(V1="230V", I1="5A", PF="0.5L", f=50).
    py::dict set(const std::string& spec, const py::kwargs& kw) {
        std::string text = spec;
        for (const auto& [k, v] : kw)
            text += " " + py::cast<std::string>(k) + "=" + py::str(v).cast<std::string>();
        return board->locked([&] { return apply(text); });
    }

  private:
    py::dict apply(const std::string& text) {
        sim::VirtualBoard& vb = virtualBoard(*board);
        sim::SignalSource s = vb.signal();
        sim::ErrorModel e = vb.errorModel();
        std::string why;
        if (!applySourceSettings(text, board->scaling_, s, e, &why)) throw py::value_error(why);
        vb.setSignal(s);
        vb.setErrorModel(e);
        return readingsDict(s, board->scaling_);
    }
};

py::dict pointDict(const PointResult& p) {
    py::dict d;
    d["index"] = p.index;
    d["label"] = p.point.label();
    d["current_pct"] = p.point.currentPercent;
    d["current_A"] = p.amperes;
    d["voltage_V"] = p.volts;
    d["pf"] = p.point.pf;
    d["capacitive"] = p.point.capacitive;
    d["phi_deg"] = p.phiDeg;
    return d;
}

AccuracyPlan planFrom(const py::object& plan) {
    if (plan.is_none()) return defaultPlan();
    const std::string text = py::cast<std::string>(plan);
    std::string why;
    auto p = text.find('=') != std::string::npos ? parsePlan(text, &why) : readPlanFile(text, &why);
    if (!p) throw py::value_error(why);
    return *p;
}

template <class T, class F>
py::array_t<T> column(const AccuracyRun& run, F f) {
    py::array_t<T> a(static_cast<py::ssize_t>(run.points.size()));
    auto m = a.template mutable_unchecked<1>();
    for (size_t i = 0; i < run.points.size(); ++i)
        m(static_cast<py::ssize_t>(i)) = f(run.points[i]);
    return a;
}

py::dict accuracy(std::shared_ptr<Board> b, const py::object& planArg,
                  const std::optional<std::string>& cls, const std::string& methodText,
                  const py::object& setSource, const py::object& reference,
                  const std::optional<std::string>& csv, const std::optional<std::string>& report,
                  const std::optional<std::string>& plot) {
    if (plot && !isAccuracyPlotName(*plot))
        throw py::value_error("plot is written as SVG (.svg) or PNG (.png)");
    AccuracyPlan plan = planFrom(planArg);
    if (cls) {
        auto c = parseAccuracyClass(*cls);
        if (!c) throw py::value_error("accuracy_class is 1, 0.5, 0.5S or 0.2S");
        plan.accuracyClass = *c;
    }
    const auto method = parseMethod(methodText);
    if (!method) throw py::value_error("method is power, pulse or both");
    for (const auto* f : {&setSource, &reference})
        if (!f->is_none() && !PyCallable_Check(f->ptr()))
            throw py::type_error("set_source and reference must be callable");
    b->ensureOpen();
    auto* vb = virtualBoardOf(*b->base_);
    if (!vb && (setSource.is_none() || reference.is_none()))
        throw py::value_error(
            "a real board needs set_source (drives or asks for the source) and reference (the "
            "reference meter's active power in W)");
    Bench bench;
    if (vb) bench = virtualBench(*vb, b->scaling_, plan.channel);
    const auto python = [&b](const py::object& f, const PointResult& p) -> py::object {
        py::gil_scoped_acquire gil;
        try {
            return f(pointDict(p));
        } catch (py::error_already_set& e) {
            e.restore();
            b->pump_.keepPending();
            return py::none();
        }
    };
    if (!setSource.is_none()) {
        auto automatic = bench.setSource;
        bench.setSource = [&, automatic](const PointResult& p) {
            if (automatic) automatic(p);
            py::object r = python(setSource, p);
            py::gil_scoped_acquire gil;
            return !b->pump_.hasPending() && (r.is_none() || r.cast<bool>());
        };
    }
    if (!reference.is_none())
        bench.reference = [&](const PointResult& p) -> std::optional<double> {
            py::object r = python(reference, p);
            py::gil_scoped_acquire gil;
            if (b->pump_.hasPending() || r.is_none()) return std::nullopt;
            return r.cast<double>();
        };
    AccuracyRun run;
    b->call(
        [&] {
            const int s =
                runAccuracy(*b->session_, b->console_, plan, *method, b->scaling_, bench, {}, &run);
            return s == kStatusCancelled ? 0 : s;
        },
        true);
    run.device = accuracyDeviceName(b->session_->chip);
    const std::pair<const std::optional<std::string>*, std::string> files[] = {
        {&csv, accuracyCsv(run)},
        {&report, accuracyReport(run)},
        {&plot, plot ? accuracyPlot(run, *plot) : std::string()}};
    for (const auto& [path, text] : files) {
        if (!*path) continue;
        std::string why;
        if (!writeFileAtomically(**path, text, &why)) {
            PyErr_SetString(PyExc_OSError, fileWriteErrorText(**path, why).c_str());
            throw py::error_already_set();
        }
    }
    py::dict d;
    d["class"] = className(plan.accuracyClass);
    d["method"] = methodName(*method);
    d["complete"] = run.complete();
    d["stopped"] = run.stopped;
    d["pass"] = run.pass();
    d["meter_constant"] = run.meterConstant;
    d["label"] = [&] {
        py::list l;
        for (const auto& p : run.points) l.append(p.point.label());
        return l;
    }();
    d["current_pct"] =
        column<double>(run, [](const PointResult& p) { return p.point.currentPercent; });
    d["current_A"] = column<double>(run, [](const PointResult& p) { return p.amperes; });
    d["voltage_V"] = column<double>(run, [](const PointResult& p) { return p.volts; });
    d["pf"] = column<double>(run, [](const PointResult& p) { return p.point.pf; });
    d["capacitive"] = column<bool>(run, [](const PointResult& p) { return p.point.capacitive; });
    d["reference_W"] = column<double>(run, [](const PointResult& p) { return p.referenceW; });
    d["power_W"] = column<double>(run, [](const PointResult& p) { return p.powerW; });
    d["power_error_pct"] =
        column<double>(run, [](const PointResult& p) { return p.powerErrorPct; });
    d["pulse_W"] = column<double>(run, [](const PointResult& p) { return p.pulseW; });
    d["pulse_error_pct"] =
        column<double>(run, [](const PointResult& p) { return p.pulseErrorPct; });
    d["pulses"] = column<std::int32_t>(run, [](const PointResult& p) { return p.pulses; });
    d["limit_pct"] = column<double>(
        run, [](const PointResult& p) { return p.judged() ? p.limitPct : std::nan(""); });
    d["passed"] = column<bool>(run, [](const PointResult& p) { return p.pass(); });
    d["report"] = accuracyReport(run);
    return d;
}

}  // namespace

void registerMetrology(py::module_& m, BoardClass& board) {
    py::class_<SourceControls>(m, "Source", "The virtual board's programmable inputs.")
        .def("get", &SourceControls::get,
             "The source in force: 'description' and the exact readings it gives "
             "(V1RMS_V, I1RMS_A, P1_W, Q1_var, S1_VA, PF1 and the same for pair 2).")
        .def("set", &SourceControls::set, py::arg("spec") = "",
             "Programs the source, e.g. set('V1=230V I1=5A PF=0.5L f=50') or "
             "set(V1='230V', I1='5A', PF='0.5L', f=50); it takes effect at the next "
             "computation cycle. Returns get()'s dict. Raises ValueError for a bad "
             "source description or on a real board.");
    board
        .def_property(
            "scaling", [](Board& b) { return b.peek([&] { return scalingDict(b.scaling_); }); },
            &setScaling,
            "Engineering units: scale_v1, scale_i1, scale_v2, scale_i2 (V and A at full scale), "
            "meter_constant (pulses per kWh, 0: from the pulse rate register)")
        .def_property_readonly(
            "source", [](std::shared_ptr<Board> b) { return SourceControls{b}; },
            "The virtual board's programmable AC source (a Source); its methods raise "
            "ValueError on a real board.")
        .def("accuracy", &accuracy, py::arg("plan") = py::none(),
             py::arg("accuracy_class") = py::none(), py::arg("method") = "both",
             py::arg("set_source") = py::none(), py::arg("reference") = py::none(),
             py::arg("csv") = py::none(), py::arg("report") = py::none(),
             py::arg("plot") = py::none(),
             "Runs the energy accuracy test: for each point of the plan (default: the usual "
             "metering points at PF 1, 0.5L and 0.8C) sets the source (the virtual board "
             "itself, or set_source(point) on a real bench), measures the energy by the "
             "monitor's power and by energy pulses, and judges the percent errors against the "
             "class (1, 0.5, 0.5S or 0.2S). reference(point) gives the reference power in W "
             "on a real bench. csv/report/plot name output files (plot: .svg or .png). Returns a "
             "dict "
             "of numpy columns (current_pct, pf, power_error_pct, pulse_error_pct, "
             "limit_pct, passed, ...) and 'report'. Raises ValueError for bad arguments, "
             "OSError for an output file, BoardError when the board fails.");
}

}  // namespace evkit::python
