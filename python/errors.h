#pragma once
// How the module reports: the program's messages become BoardError, BoardWarning and log
// records of the "evkit714" logger; refused arguments become ValueError or TypeError; file
// problems become OSError with the path.
#include <pybind11/pybind11.h>

#include <string>

#include "module_support.h"

namespace evkit::python {

py::object& boardErrorType();
py::object& boardWarningType();

bool isErrorTitle(const std::string& title);
// The texts of the messages shown (only the errors' with errorsOnly), else the console's.
std::string joinTexts(const Shown& shown, const std::string& console, bool errorsOnly);
py::list shownList(const Shown& shown);

// Raises BoardError (interpreter held) with the program's own text.
[[noreturn]] void raiseBoardError(int status, const Shown& shown, const std::string& console);
// What the windows would show in a box: errors and notes that did not end the operation
// become warnings, information becomes log records.
void emitShown(const Shown& shown, const std::string& console);

[[noreturn]] void valueError(const std::string& text);
// OSError (FileNotFoundError for a missing file) with the program's text.
[[noreturn]] void osError(const std::string& text, bool missing = false);
// A file path argument (str or os.PathLike).
std::string pathText(const py::object& path);

}  // namespace evkit::python
