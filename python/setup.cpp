// The setup controls by name, as a Python object.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "board.h"
#include "registers/register_file.h"
#include "setup/setup_model.h"

namespace evkit::python {

namespace {

struct SetupControls {
    std::shared_ptr<Board> board;

    static const setup::ControlSpec& control(const std::string& name) {
        const auto* c = setup::findSetupControl(name);
        if (!c) throw py::key_error("'" + name + "' is not a setup control");
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
    py::dict valuesOf(const std::vector<const setup::ControlSpec*>& controls) const {
        py::dict d;
        for (const auto* c : controls)
            d[py::str(c->name)] = shownValue(*c, board->setup_->value(*c));
        return d;
    }
    static std::vector<const setup::ControlSpec*> shownControls() {
        std::vector<const setup::ControlSpec*> out;
        for (const auto& c : setup::setupControls())
            if (c.kind != setup::ControlKind::Button) out.push_back(&c);
        return out;
    }

    py::dict refresh() {
        board->ensureOpen();
        board->call([&] { return board->setup_->Refresh_Setup(); });
        return valuesOf(shownControls());
    }
    py::object get(const std::string& name) {
        const auto& c = control(name);
        if (c.kind == setup::ControlKind::Button) valueError(name + " is a command, not a value");
        board->ensureOpen();
        board->call([&] { return board->setup_->Refresh_Setup(); });
        return shownValue(c, board->setup_->value(c));
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
        } else if (py::isinstance<py::bool_>(value) || py::isinstance<py::int_>(value) ||
                   py::isinstance<py::float_>(value)) {
            v = value.cast<double>();
        } else {
            throw py::type_error(name + ": expected a number or its text");
        }
        if (auto why = setup::checkControlValue(c, v)) valueError(name + ": " + *why);
        board->ensureOpen();
        board->call(
            [&] {
                if (int s = board->setup_->Refresh_Setup()) return s;
                return board->setup_->commit(c, v);
            },
            true, setup::kStatusRefusedEntry);
        return valuesOf(setup::registerControls(c));
    }
    py::dict reset() {
        board->ensureOpen();
        board->call([&] { return board->setup_->reset(); });
        return valuesOf(shownControls());
    }
    py::dict clearStatus() {
        board->ensureOpen();
        board->call([&] {
            if (int s = board->setup_->Refresh_Setup()) return s;
            return board->setup_->clearStatus();
        });
        return valuesOf(setup::registerControls(*setup::findSetupControl("SETUP_STATUS_HEX")));
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
        board->call([&] { return storeRegisterFile(*board->link_, board->messages_, p); });
    }
    static std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto* c : shownControls()) out.push_back(c->name);
        return out;
    }
};

}  // namespace

void registerSetup(py::module_& m, BoardClass& board) {
    py::class_<SetupControls>(m, "Setup",
                              "The setup controls by name; every access reads the device.")
        .def("__getitem__", &SetupControls::get)
        .def("__setitem__",
             [](SetupControls& s, const std::string& n, const py::object& v) { s.set(n, v); })
        .def("set", &SetupControls::set, py::arg("name"), py::arg("value"),
             "Commit a value; returns what the device now shows for that register's controls.")
        .def("refresh", &SetupControls::refresh)
        .def("reset", &SetupControls::reset)
        .def("clear_status", &SetupControls::clearStatus)
        .def("retrieve", &SetupControls::retrieve, py::arg("path"),
             "Write a register settings file (.rsf) to the device.")
        .def("store", &SetupControls::store, py::arg("path"),
             "Save the device's registers as a register settings file (.rsf).")
        .def("keys", &SetupControls::names)
        .def("__iter__",
             [](const SetupControls&) { return py::iter(py::cast(SetupControls::names())); })
        .def("__contains__", [](const SetupControls&, const std::string& n) {
            const auto* c = evkit::setup::findSetupControl(n);
            return c && c->kind != evkit::setup::ControlKind::Button;
        });
    board.def_property_readonly("setup", [](std::shared_ptr<Board> b) { return SetupControls{b}; });
}

}  // namespace evkit::python
