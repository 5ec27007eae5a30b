#pragma once
// Small widget helpers shared by the panels.
#include <QSpinBox>

namespace evkit::app {

// An integer box showing a 24-bit register word in hexadecimal ("0x" + hex digits).
// Its commit is editingFinished.
inline QSpinBox* makeHexWordBox(QWidget* parent = nullptr, int maximum = 0xFFFFFF) {
    auto* box = new QSpinBox(parent);
    box->setDisplayIntegerBase(16);
    box->setPrefix("0x");
    box->setRange(0, maximum);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setKeyboardTracking(false);
    box->setMinimumWidth(90);
    return box;
}

}  // namespace evkit::app
