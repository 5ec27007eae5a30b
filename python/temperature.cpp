// The temperature sensor's gain, offset and scale, as a Python object.
#include <pybind11/pybind11.h>

#include <cmath>
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

// A NaN or an infinity is refused by name before anything is sent (the core would read it
// as some other entry).
void finite(double v, const char* name) {
    if (!std::isfinite(v)) valueError(std::string(name) + " must be a finite number");
}

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
        finite(value, "gain");
        return run([value](auto& t, auto& v) { return t.gainValueEntry(value, v); });
    }
    py::dict setOffset(double value) {
        finite(value, "offset");
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
        finite(q, "q");
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
    py::class_<TemperatureControls>(
        m, "Temperature",
        "The temperature sensor's gain, offset and scale. Every call returns dict gain_word, "
        "gain_value, offset_word, offset_value (as the device now holds them) and scale "
        "('down', 'up' or 'none'). Values the program turns down raise ValueError, board "
        "failures BoardError.")
        .def("refresh", &TemperatureControls::refresh, "Read gain, offset and scale.")
        .def("set_gain", &TemperatureControls::setGain, py::arg("value"),
             "Write the gain as a value (finite, not 0).")
        .def("set_offset", &TemperatureControls::setOffset, py::arg("value"),
             "Write the offset as a value (finite).")
        .def("set_gain_word", &TemperatureControls::setGainWord, py::arg("word"),
             "Write the gain register word (24 bits).")
        .def("set_offset_word", &TemperatureControls::setOffsetWord, py::arg("word"),
             "Write the offset register word (24 bits).")
        .def("quick_set", &TemperatureControls::quickSet, py::arg("q"),
             "Set gain and offset from the quick-set entry q (finite).")
        .def("scale", &TemperatureControls::scale, py::arg("which"),
             "Choose the scale: 'up' or 'down'.")
        .def("__repr__", [](const TemperatureControls& t) {
            return std::string("<Temperature controls of ") +
                   (t.board->open_ ? "an open" : "a closed") + " board; refresh() reads them>";
        });
    board.def_property_readonly(
        "temperature", [](std::shared_ptr<Board> b) { return TemperatureControls{b}; },
        "The temperature sensor's controls (a Temperature).");
}

}  // namespace evkit::python
