#pragma once
// Typing into a window's controls as a user does.
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

namespace evkit::test {

// Focuses the control, types `text` over its contents and presses Enter.
inline void typeAndEnter(QWidget* w, const QString& text) {
    w->setFocus(Qt::MouseFocusReason);
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(w))
        spin->selectAll();
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->selectAll();
    QTest::keyClicks(w, text);
    QTest::keyClick(w, Qt::Key_Return);
}

}  // namespace evkit::test
