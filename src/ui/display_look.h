#pragma once
// Read-only results look like displays, not like entry boxes: a shaded background in the
// window's colour with the window's text colour, and no focus (Tab passes them by). The
// look is one application style rule for every read-only line edit and spin box, so every
// window shows its results alike.
class QAbstractSpinBox;
class QApplication;
class QLineEdit;
class QString;

namespace evkit::app {

// The rule for the whole program (the desktop program and the window tests call it once,
// before any window is built).
void installDisplayLook(QApplication& app);
// The style rule itself, shaded from the application's window colour.
QString displayLookStyleSheet();

// A result display: read-only and never focused.
void makeResultDisplay(QLineEdit* display);
void makeResultDisplay(QAbstractSpinBox* display);

}  // namespace evkit::app
