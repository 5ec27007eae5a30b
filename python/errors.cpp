// Exceptions, warnings and log records of the module.
#include "errors.h"

#include "module.h"

#include "board/board_link.h"
#include "board/connection.h"
#include "registers/register_file.h"
#include "support/messages.h"

namespace evkit::python {

py::object& boardErrorType() {
    static py::object type;
    return type;
}
py::object& boardWarningType() {
    static py::object type;
    return type;
}

bool isErrorTitle(const std::string& title) {
    return title == msg::kErrorTitle;
}

std::string joinTexts(const Shown& shown, const std::string& console, bool errorsOnly) {
    std::string text;
    for (const auto& [title, t] : shown) {
        if (errorsOnly && !isErrorTitle(title)) continue;
        if (!text.empty()) text += "\n";
        text += t;
    }
    if (text.empty() && !errorsOnly) {
        for (const auto& [title, t] : shown) text += (text.empty() ? "" : "\n") + t;
    }
    if (text.empty()) {
        text = console;
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    }
    return text;
}

py::list shownList(const Shown& shown) {
    py::list out;
    for (const auto& [title, text] : shown) out.append(py::make_tuple(title, text));
    return out;
}

[[noreturn]] void raiseBoardError(int status, const Shown& shown, const std::string& console) {
    std::string text = joinTexts(shown, console, true);
    if (text.empty()) text = joinTexts(shown, console, false);
    if (text.empty()) text = "The board operation failed (status " + std::to_string(status) + ").";
    py::object e = boardErrorType()(text);
    e.attr("status") = status;
    e.attr("messages") = shownList(shown);
    PyErr_SetObject(boardErrorType().ptr(), e.ptr());
    throw py::error_already_set();
}

// What the windows would show in a box: errors and notes that did not end the operation
// become warnings, information becomes log records of the "evkit714" logger.
void emitShown(const Shown& shown, const std::string& console) {
    if (shown.empty() && console.empty()) return;
    py::object logger = py::module_::import("logging").attr("getLogger")("evkit714");
    py::object warn = py::module_::import("warnings").attr("warn");
    for (const auto& [title, text] : shown) {
        const bool informative = title == msg::kDeviceDetectedTitle || title == msg::kNoteTitle ||
                                 text == evkit::msg::kFileRetrieved ||
                                 text == evkit::msg::kFileStored;
        if (informative)
            logger.attr("info")("%s: %s", title, text);
        else
            warn(title.empty() || title == " " ? text : title + ": " + text, boardWarningType(), 2);
    }
    if (!console.empty()) logger.attr("info")("%s", console);
}

[[noreturn]] void valueError(const std::string& text) {
    throw py::value_error(text);
}

[[noreturn]] void osError(const std::string& text, bool missing) {
    PyErr_SetString(missing ? PyExc_FileNotFoundError : PyExc_OSError, text.c_str());
    throw py::error_already_set();
}

std::string pathText(const py::object& path) {
    return py::str(py::module_::import("os").attr("fspath")(path));
}

void registerErrors(py::module_& m, BoardClass&) {
    boardErrorType() = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "evkit714.BoardError", "A board operation failed; the text is the program's message.",
        PyExc_RuntimeError, nullptr));
    m.attr("BoardError") = boardErrorType();
    boardWarningType() = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "evkit714.BoardWarning", "A message the program shows without ending the operation.",
        PyExc_UserWarning, nullptr));
    m.attr("BoardWarning") = boardWarningType();
}

}  // namespace evkit::python
