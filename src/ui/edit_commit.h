#pragma once
// One commit rule for every numeric and word editor of the windows: an editor writes to the
// device only after the user really edited it.
#include <functional>

class QAbstractSpinBox;
class QLineEdit;
class QWidget;

namespace evkit::app {

// Runs `commit` when the user has typed into the box (or stepped a spin box with the arrow
// keys, Page keys, its buttons or the wheel) and then presses Enter or moves the focus away.
// Focus passing through the box, Enter on an untouched box and every value the program puts
// into the box commit nothing. The edit mark is cleared before `commit` runs, so showing
// the read-back inside `commit` does not count as an edit.
void commitOnEdit(QLineEdit* edit, std::function<void()> commit);
void commitOnEdit(QAbstractSpinBox* box, std::function<void()> commit);

// A wheel turned over the widget changes it only while it has the keyboard focus, so that
// scrolling a window past a box or a ring never edits it. Applied by commitOnEdit to spin
// boxes; call it for rings (combo boxes) that write on change.
void ignoreWheelUnlessFocused(QWidget* widget);

}  // namespace evkit::app
