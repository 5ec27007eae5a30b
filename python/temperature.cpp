// The temperature sensor's gain, offset and scale, as a Python object.
#include <pybind11/pybind11.h>

#include <map>
#include <string>
#include <variant>

#include "board.h"
#include "temperature/scale_choice.h"
#include "temperature/temperature.h"

namespace evkit::python {

namespace {

class DictView : public temperature::View {
  public:
    void showGainWord(std::uint32_t w) override { d["gain_word"] = w; }
    void showGainValue(double v) override { d["gain_value"] = v; }
    void showOffsetWord(std::uint32_t w) override { d["offset_word"] = w; }
    void showOffsetValue(double v) override { d["offset_value"] = v; }
    void setScaleBoxes(bool down, bool up) override {
        d["scale"] = down ? "down" : up ? "up" : "none";
    }
    std::map<std::string, std::variant<std::uint32_t, double, std::string>> d;
};

struct TemperatureControls {
    std::shared_ptr<Board> board;

    template <class F>
    py::dict run(F&& f) {
        board->ensureOpen();
        DictView view;
        board->call([&] { return f(*board->temperature_, view); }, true,
                    temperature::kStatusRefused);
        py::dict out;
        for (const auto& [k, v] : view.d)
            out[py::str(k)] = std::visit([](auto x) { return py::cast(x); }, v);
        return out;
    }
    py::dict refresh() {
        return run([](auto& t, auto& v) { return t.refresh(v); });
    }
    py::dict setGain(double value) {
        return run([value](auto& t, auto& v) { return t.gainValueEntry(value, v); });
    }
    py::dict setOffset(double value) {
        return run([value](auto& t, auto& v) { return t.offsetValueEntry(value, v); });
    }
    py::dict setGainWord(long long word) {
        const auto w = Board::checkWord(word);
        return run([w](auto& t, auto& v) { return t.gainWordEntry(w, v); });
    }
    py::dict setOffsetWord(long long word) {
        const auto w = Board::checkWord(word);
        return run([w](auto& t, auto& v) { return t.offsetWordEntry(w, v); });
    }
    py::dict quickSet(double q) {
        return run([q](auto& t, auto& v) { return t.quickSet(q, v); });
    }
    py::dict scale(const std::string& which) {
        if (which != "up" && which != "down") valueError("scale takes 'up' or 'down'");
        const bool up = which == "up";
        return run([up](auto& t, auto& v) { return temperature::chooseScale(t, up, v); });
    }
};

}  // namespace

void registerTemperature(py::module_& m, BoardClass& board) {
    py::class_<TemperatureControls>(m, "Temperature", "Temperature sensor gain, offset and scale.")
        .def("refresh", &TemperatureControls::refresh)
        .def("set_gain", &TemperatureControls::setGain, py::arg("value"))
        .def("set_offset", &TemperatureControls::setOffset, py::arg("value"))
        .def("set_gain_word", &TemperatureControls::setGainWord, py::arg("word"))
        .def("set_offset_word", &TemperatureControls::setOffsetWord, py::arg("word"))
        .def("quick_set", &TemperatureControls::quickSet, py::arg("q"))
        .def("scale", &TemperatureControls::scale, py::arg("which"));
    board.def_property_readonly("temperature",
                                [](std::shared_ptr<Board> b) { return TemperatureControls{b}; });
}

}  // namespace evkit::python
