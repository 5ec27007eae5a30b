// The setup controls by name, as a Python object.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "board.h"
#include "registers/register_file.h"
#include "setup/setup_model.h"

namespace evkit::python {

namespace {

using Controls = std::vector<const setup::ControlSpec*>;

struct SetupControls {
    std::shared_ptr<Board> board;

    static const setup::ControlSpec& control(const std::string& name) {
        const auto* c = setup::findSetupControl(name);
        if (!c || c->kind == setup::ControlKind::Button)
            throw py::key_error("'" + name + "' is not a setup control");
        return *c;
    }
    static py::object shownValue(const setup::ControlSpec& c, double v) {
        switch (c.kind) {
            case setup::ControlKind::Value:
                return py::float_(v);
            default:
                return py::int_(static_cast<long long>(v));
        }
    }
    static const Controls& shownControls() {
        static const Controls out = [] {
            Controls list;
            for (const auto& c : setup::setupControls())
                if (c.kind != setup::ControlKind::Button) list.push_back(&c);
            return list;
        }();
        return out;
    }

    // Runs `op` on the board and reads `controls` as the device now shows them, both under
    // the board's lock (another thread's call may change the model right after).
    template <class F>
    py::dict run(F&& op, const Controls& controls, int refused = 0, int fileError = 0) {
        board->ensureOpen();
        std::vector<double> values;
        board->call(
            [&] {
                if (int s = op()) return s;
                for (const auto* c : controls) values.push_back(board->setup_->value(*c));
                return 0;
            },
            true, refused, fileError);
        py::dict d;
        for (std::size_t i = 0; i < controls.size(); ++i)
            d[py::str(controls[i]->name)] = shownValue(*controls[i], values[i]);
        return d;
    }
    py::dict refresh() {
        return run([&] { return board->setup_->Refresh_Setup(); }, shownControls());
    }
    py::object get(const std::string& name) {
        const auto& c = control(name);
        return run([&] { return board->setup_->Refresh_Setup(); }, {&c})[py::str(name)];
    }
    py::object getOr(const std::string& name, const py::object& fallback) {
        const auto* c = setup::findSetupControl(name);
        if (!c || c->kind == setup::ControlKind::Button) return fallback;
        return get(name);
    }
    // The edit starts from the device's values, as the window does when it opens, so that
    // the fields sharing the register keep what the device holds.
    py::dict set(const std::string& name, const py::object& value) {
        const auto& c = control(name);
        if (!setup::isEditable(c)) valueError(name + " cannot be edited");
        double v = 0;
        if (py::isinstance<py::str>(value)) {
            std::string error;
            const auto parsed = setup::parseControlValue(c, value.cast<std::string>(), &error);
            if (!parsed) valueError(name + ": " + error);
            v = *parsed;
        } else if (PyNumber_Check(value.ptr()) && !py::isinstance<py::bytes>(value)) {
            v = py::float_(value).cast<double>();  // also numpy numbers
        } else {
            throw py::type_error(name + ": expected a number or its text");
        }
        if (!std::isfinite(v)) valueError(name + ": the value must be a finite number");
        if (auto why = setup::checkControlValue(c, v)) valueError(name + ": " + *why);
        return run(
            [&] {
                if (int s = board->setup_->Refresh_Setup()) return s;
                return board->setup_->commit(c, v);
            },
            setup::registerControls(c), setup::kStatusRefusedEntry);
    }
    py::dict reset() {
        return run([&] { return board->setup_->reset(); }, shownControls());
    }
    py::dict clearStatus() {
        return run(
            [&] {
                if (int s = board->setup_->Refresh_Setup()) return s;
                return board->setup_->clearStatus();
            },
            setup::registerControls(*setup::findSetupControl("SETUP_STATUS_HEX")));
    }
    void retrieve(const py::object& path) {
        const std::string p = pathText(path);
        if (!std::filesystem::is_regular_file(p))
            osError("no register settings file \"" + p + "\"", true);
        board->ensureOpen();
        board->call([&] { return retrieveRegisterFile(*board->link_, board->messages_, p); }, true,
                    kStatusFileError);
    }
    void store(const py::object& path) {
        const std::string p = pathText(path);
        board->ensureOpen();
        board->call([&] { return storeRegisterFile(*board->link_, board->messages_, p); }, true, 0,
                    kStatusFileError);
    }
    static std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto* c : shownControls()) out.push_back(c->name);
        return out;
    }
    py::list items() {
        const py::dict d = refresh();
        py::list out;
        for (const auto& [k, v] : d) out.append(py::make_tuple(k, v));
        return out;
    }
    py::list values() {
        const py::dict d = refresh();
        py::list out;
        for (const auto& [k, v] : d) out.append(v);
        return out;
    }
};

}  // namespace

void registerSetup(py::module_& m, BoardClass& board) {
    py::class_<SetupControls> cls(
        m, "Setup",
        "The setup controls by name, a mapping (keys(), values(), items(), len(), in, get(), "
        "iteration); every read refreshes from the device.\n\n"
        "setup[name] returns an int, or a float for a value control; setup[name] = value "
        "commits a number or its text. Unknown names raise KeyError, refused values "
        "ValueError, board failures BoardError.");
    cls.def("__getitem__", &SetupControls::get, py::arg("name"))
        .def(
            "__setitem__",
            [](SetupControls& s, const std::string& n, const py::object& v) { s.set(n, v); },
            py::arg("name"), py::arg("value"))
        .def("get", &SetupControls::getOr, py::arg("name"), py::arg("default") = py::none(),
             "The control's value as the device shows it, or `default` for an unknown name.")
        .def("set", &SetupControls::set, py::arg("name"), py::arg("value"),
             "Commit a value (a number or its text); returns the controls of that register as "
             "the device now shows them.")
        .def("refresh", &SetupControls::refresh, "Read the device: dict of every control.")
        .def("reset", &SetupControls::reset,
             "Reset the device's setup registers; dict of every control afterwards.")
        .def("clear_status", &SetupControls::clearStatus,
             "Clear the status register; returns its controls.")
        .def("retrieve", &SetupControls::retrieve, py::arg("path"),
             "Write a register settings file (.rsf) to the device. Raises FileNotFoundError "
             "naming the path, ValueError for a file the device cannot take.")
        .def("store", &SetupControls::store, py::arg("path"),
             "Save the device's registers as a register settings file (.rsf). Raises OSError "
             "naming the path when it cannot be written.")
        .def(
            "keys", [](const SetupControls&) { return SetupControls::names(); },
            "The controls' names (no device access).")
        .def("values", &SetupControls::values, "Every control's value (one device read).")
        .def("items", &SetupControls::items, "(name, value) of every control (one device read).")
        .def("__len__", [](const SetupControls&) { return SetupControls::shownControls().size(); })
        .def("__iter__",
             [](const SetupControls&) { return py::iter(py::cast(SetupControls::names())); })
        .def("__contains__",
             [](const SetupControls&, const py::object& n) {
                 if (!py::isinstance<py::str>(n)) return false;
                 const auto* c = evkit::setup::findSetupControl(n.cast<std::string>());
                 return c && c->kind != evkit::setup::ControlKind::Button;
             })
        .def("__repr__", [](const SetupControls& s) {
            return "<Setup of " + std::to_string(SetupControls::shownControls().size()) +
                   " controls on " + std::string(s.board->open_ ? "an open" : "a closed") +
                   " board>";
        });
    py::module_::import("collections.abc").attr("Mapping").attr("register")(cls);
    board.def_property_readonly(
        "setup", [](std::shared_ptr<Board> b) { return SetupControls{b}; },
        "The setup controls of the device by name (a Setup mapping).");
}

}  // namespace evkit::python
