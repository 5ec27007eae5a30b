#include "ui/display_look.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QLineEdit>
#include <QPalette>

namespace evkit::app {

QString displayLookStyleSheet() {
    // A shade darker than the window, so a result never passes for a white entry box.
    const QPalette palette = QApplication::palette();
    const QColor background = palette.color(QPalette::Window).darker(112);
    const QString rule = QString("{ background: %1; color: %2; }")
                             .arg(background.name(), palette.color(QPalette::WindowText).name());
    return "QLineEdit[readOnly=\"true\"] " + rule + "\nQAbstractSpinBox[readOnly=\"true\"] " + rule;
}

void installDisplayLook(QApplication& app) {
    app.setStyleSheet(displayLookStyleSheet());
}

void makeResultDisplay(QLineEdit* display) {
    display->setReadOnly(true);
    display->setFocusPolicy(Qt::NoFocus);
}

void makeResultDisplay(QAbstractSpinBox* display) {
    display->setReadOnly(true);
    display->setFocusPolicy(Qt::NoFocus);
}

}  // namespace evkit::app
