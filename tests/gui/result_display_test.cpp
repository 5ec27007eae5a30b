// Read-only results in every window read as displays: read-only, never focused, and on a
// background other than an entry box's.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QSpinBox>
#include <map>

#include "shell_rig.h"

using namespace evkit;

namespace {

const char* const kWindows[] = {"pnl_setup",   "pnl_data",   "pnl_conv",    "pnl_cal",
                                "pnl_pulse",   "pnl_debug",  "pnl_eeprom",  "pnl_temp",
                                "pnl_scaling", "pnl_source", "pnl_accuracy"};

// The colour most of the widget is drawn in: its background.
QRgb backgroundOf(QWidget* w) {
    w->ensurePolished();
    const QImage image = w->grab().toImage();
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
    QRgb most = 0;
    int best = -1;
    for (const auto& [colour, n] : counts)
        if (n > best) most = colour, best = n;
    return most;
}

// The read-only line edits and spin boxes of a window (not the edit inside a spin box).
std::vector<QWidget*> readOnlyFields(QWidget* window) {
    std::vector<QWidget*> fields;
    for (QLineEdit* e : window->findChildren<QLineEdit*>())
        if (e->isReadOnly() && !qobject_cast<QAbstractSpinBox*>(e->parentWidget()))
            fields.push_back(e);
    for (QAbstractSpinBox* b : window->findChildren<QAbstractSpinBox*>())
        if (b->isReadOnly()) fields.push_back(b);
    return fields;
}

}  // namespace

TEST(ResultDisplays, ReadOnlyFieldsTakeNoFocusAndLookUnlikeEntries) {
    test::ShellRig s;
    s.connect();
    std::map<std::string, std::size_t> found;
    for (const char* name : kWindows) {
        QWidget* window = s.shell.window(name);
        ASSERT_NE(window, nullptr) << name;
        window->show();
        QLineEdit entry(window);  // an editable box of the same window, for comparison
        entry.resize(120, entry.sizeHint().height());
        QSpinBox spin(window);
        spin.resize(120, spin.sizeHint().height());
        const QRgb entryBackground = backgroundOf(&entry);
        const QRgb spinBackground = backgroundOf(&spin);
        for (QWidget* field : readOnlyFields(window)) {
            const std::string what = std::string(name) + " " + field->objectName().toStdString();
            EXPECT_EQ(field->focusPolicy(), Qt::NoFocus) << what;
            const QRgb editable =
                qobject_cast<QAbstractSpinBox*>(field) ? spinBackground : entryBackground;
            EXPECT_NE(backgroundOf(field), editable) << what;
            ++found[name];
        }
        window->hide();
    }
    // The results of the pulse count, the data window and the monitor are among them.
    EXPECT_GE(found["pnl_pulse"], 4u);
    EXPECT_GE(found["pnl_data"], 9u);
    EXPECT_GE(found["pnl_conv"], 4u);
    EXPECT_GE(found["pnl_cal"], 1u);
}
