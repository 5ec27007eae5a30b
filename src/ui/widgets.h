#pragma once
// Small widget helpers shared by the panels.
#include <QSpinBox>

namespace evkit::app {

// An integer box showing a register word in hexadecimal, zero-padded to the digits of its
// maximum ("0x00ABCD" for a 24-bit word, "0xA0" for a byte). Windows connect its commit
// with commitOnEdit (ui/edit_commit.h).
class HexWordBox : public QSpinBox {
public:
    explicit HexWordBox(QWidget* parent = nullptr, int maximum = 0xFFFFFF) : QSpinBox(parent) {
        setDisplayIntegerBase(16);
        setPrefix("0x");
        setRange(0, maximum);
        setButtonSymbols(QAbstractSpinBox::NoButtons);
        setKeyboardTracking(false);
        setMinimumWidth(90);
    }

protected:
    QString textFromValue(int value) const override {
        int digits = 1;  // as many digits as the largest value has
        for (unsigned m = static_cast<unsigned>(maximum()); m > 0xF; m >>= 4) ++digits;
        return QString("%1").arg(static_cast<uint>(value), digits, 16, QChar('0')).toUpper();
    }
};

inline QSpinBox* makeHexWordBox(QWidget* parent = nullptr, int maximum = 0xFFFFFF) {
    return new HexWordBox(parent, maximum);
}

}  // namespace evkit::app
