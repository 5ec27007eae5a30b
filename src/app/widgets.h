#pragma once
// Small widget helpers shared by the panels.
#include <QSpinBox>

namespace evkit::app {

// An integer box showing a 24-bit register word as "0x" + six hexadecimal digits
// (upper case, zero-padded). Its commit is editingFinished.
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
        const int digits = maximum() > 0xFFFFFF ? 8 : 6;
        return QString("%1").arg(static_cast<uint>(value), digits, 16, QChar('0')).toUpper();
    }
};

inline QSpinBox* makeHexWordBox(QWidget* parent = nullptr, int maximum = 0xFFFFFF) {
    return new HexWordBox(parent, maximum);
}

}  // namespace evkit::app
