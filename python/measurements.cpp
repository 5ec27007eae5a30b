// Line frequency, Tmeas, the calibrations and the pulse measurement.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <map>
#include <vector>

#include "board.h"
#include "calibration/calibration.h"
#include "conversion/monitor.h"
#include "pulse/pulse_measurement.h"

namespace evkit::python {

namespace {

py::dict registersDict(const std::vector<calibration::Shown>& shown) {
    py::dict d;
    for (const auto& s : shown) d[s.reg->name] = py::make_tuple(s.word, s.number);
    return d;
}

py::dict countDict(const pulse::CountResult& r) {
    py::dict d;
    d["index"] = r.index;
    d["counts"] = py::make_tuple(r.counts[0], r.counts[1], r.counts[2]);
    d["rates"] = py::make_tuple(r.rates[0], r.rates[1], r.rates[2]);
    d["means"] = py::make_tuple(r.means[0], r.means[1], r.means[2]);
    d["deviations"] = py::make_tuple(r.deviations[0], r.deviations[1], r.deviations[2]);
    return d;
}

double lineFrequency(Board& b, double hz) {
    if (!(hz >= 0.0 && hz <= 1.0e6)) valueError("hz must be 0..1e6");
    b.ensureOpen();
    double shown = 0;
    b.call([&] { return conversion::setLineFrequency(*b.session_, hz, &shown); });
    return shown;
}
void tmeas(Board& b, long long n) {
    const auto v = Board::checkWord(n);
    b.ensureOpen();
    b.call([&] { return conversion::setTmeas(*b.session_, v); });
}

// --- calibration ---
py::dict calibrate(Board& b, const std::string& kind, const std::string& channel, int gainMode) {
    static const std::map<std::string, calibration::CalType> kinds = {
        {"dc-offset", calibration::CalType::DcOffset},
        {"ac-offset", calibration::CalType::AcOffset},
        {"gain", calibration::CalType::Gain}};
    static const std::map<std::string, int> channels = {{"i1", calibration::kI1},
                                                        {"v1", calibration::kV1},
                                                        {"i2", calibration::kI2},
                                                        {"v2", calibration::kV2},
                                                        {"all", calibration::kAll}};
    const auto k = kinds.find(kind);
    if (k == kinds.end()) valueError("kind must be dc-offset, ac-offset or gain");
    const auto c = channels.find(channel);
    if (c == channels.end()) valueError("channel must be i1, v1, i2, v2 or all");
    if (gainMode != 0 && gainMode != 1) valueError("gain_mode must be 0 or 1");
    const auto* button = calibration::findButton(k->second, c->second);
    if (!button) valueError("no such calibration");
    b.ensureOpen();
    std::vector<calibration::Shown> shown;
    b.call([&] {
        return calibration::runCalibration(
            *b.link_, *button, gainMode != 0,
            [&](const calibration::Shown& s) { shown.push_back(s); });
    });
    return registersDict(shown);
}
py::dict calibrationRegisters(Board& b) {
    b.ensureOpen();
    std::vector<calibration::Shown> shown;
    b.call([&] {
        return calibration::refresh(*b.link_,
                                    [&](const calibration::Shown& s) { shown.push_back(s); });
    });
    return registersDict(shown);
}

// --- pulse ---
py::dict measurePulse(Board& b, double seconds, int repeat, const py::object& onCount) {
    if (!(seconds >= 0.0 && seconds <= 335544.0)) valueError("time must be 0..335544 s");
    if (repeat < 0 || repeat > 1000000) valueError("repeat must be 0..1000000");
    if (!onCount.is_none() && !PyCallable_Check(onCount.ptr()))
        throw py::type_error("on_count must be callable");
    b.ensureOpen();
    std::int32_t cycleCount = 0;
    std::vector<pulse::CountResult> counts;
    pulse::Callbacks cb;
    cb.started = [&](std::int32_t n) { cycleCount = n; };
    cb.counted = [&](const pulse::CountResult& r) {
        counts.push_back(r);
        if (onCount.is_none()) return;
        py::gil_scoped_acquire gil;
        try {
            onCount(countDict(r));
        } catch (py::error_already_set& e) {
            e.restore();
            b.pump_.keepPending();
        }
    };
    cb.stopRequested = [&b] { return b.pump_.cancelRequested(); };
    b.call([&] { return pulse::measure(*b.link_, seconds, repeat, cb); }, true,
           pulse::kStatusRefused);
    py::dict d;
    d["cycle_count"] = cycleCount;
    py::list list;
    for (const auto& r : counts) list.append(countDict(r));
    d["counts"] = list;
    return d;
}

}  // namespace

void registerMeasurements(py::module_&, BoardClass& board) {
    board.def("line_frequency", &lineFrequency, py::arg("hz"))
        .def("tmeas", &tmeas, py::arg("n"))
        .def("calibrate", &calibrate, py::arg("kind"), py::arg("channel"), py::arg("gain_mode") = 0)
        .def("calibration", &calibrationRegisters)
        .def("pulse", &measurePulse, py::arg("time"), py::arg("repeat") = 1,
             py::arg("on_count") = py::none());
}

}  // namespace evkit::python
