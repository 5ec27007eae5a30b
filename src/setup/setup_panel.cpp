#include "setup/setup_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "registers/register_file.h"
#include "ui/display_look.h"
#include "ui/edit_commit.h"
#include "ui/widgets.h"

namespace evkit::app {

namespace {

using setup::ControlKind;
using setup::ControlSpec;

QString numberText(double v) {
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return QLocale::c().toString(v, 'g', 10);
}

void setLamp(QLabel* lamp, bool lit) {
    lamp->setProperty("lit", lit);
    lamp->setStyleSheet(lit ? "background:#3ddc4a; border:1px solid #1d6b25; border-radius:6px;"
                            : "background:#404040; border:1px solid #202020; border-radius:6px;");
}

QGroupBox* group(const QString& title, QLayout* layout) {
    auto* box = new QGroupBox(title);
    box->setLayout(layout);
    return box;
}

}  // namespace

SetupPanel::SetupPanel(AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "MENU_SETUP", "Device Setup", parent), model_(ctx.session, ctx.messages) {
    setObjectName("pnl_setup");
    auto* columns = new QHBoxLayout(scrollingContent());
    const auto column = [&](std::initializer_list<QWidget*> boxes) {
        auto* v = new QVBoxLayout;
        for (auto* b : boxes) v->addWidget(b);
        v->addStretch(1);
        columns->addLayout(v);
    };
    column({buildConfig(), buildControl(), buildCycle()});
    column({buildOpMode(), buildMask(), buildStatus()});
    column({buildSag(), buildNumeric(), buildTemperature(), buildFiles()});
    showValues();
    fitToScreen();
}

QWidget* SetupPanel::control(const std::string& name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

QWidget* SetupPanel::make(const std::string& name) {
    const ControlSpec* entry = setup::findSetupControl(name);
    Q_ASSERT(entry);
    const QByteArray slot = QByteArray("1") + entry->callback.c_str() + "()";
    QWidget* w = nullptr;
    switch (entry->kind) {
        case ControlKind::Word:
        case ControlKind::ReadOnlyWord: {
            auto* box = makeHexWordBox();
            if (entry->kind == ControlKind::ReadOnlyWord)
                makeResultDisplay(box);
            else
                commitOnEdit(box, [this, box] { commitFrom(box); });
            w = box;
            break;
        }
        case ControlKind::Flag: {
            auto* box = new QCheckBox(QString::fromStdString(entry->label));
            connect(box, SIGNAL(clicked(bool)), this, slot.constData());
            w = box;
            break;
        }
        case ControlKind::Lamp: {
            auto* lamp = new QLabel;
            lamp->setFixedSize(12, 12);
            setLamp(lamp, false);
            w = lamp;
            break;
        }
        case ControlKind::Ring: {
            auto* ring = new QComboBox;
            for (int i = static_cast<int>(entry->min); i <= static_cast<int>(entry->max); ++i)
                ring->addItem(QString::number(i));
            connect(ring, SIGNAL(currentIndexChanged(int)), this, slot.constData());
            ignoreWheelUnlessFocused(ring);
            w = ring;
            break;
        }
        case ControlKind::Integer: {
            auto* box = new QSpinBox;
            box->setRange(static_cast<int>(entry->min), static_cast<int>(entry->max));
            box->setKeyboardTracking(false);
            box->setMinimumWidth(80);
            commitOnEdit(box, [this, box] { commitFrom(box); });
            w = box;
            break;
        }
        case ControlKind::Value: {
            auto* edit = new QLineEdit;
            auto* validator = new QDoubleValidator(entry->min, entry->max, 12, edit);
            validator->setLocale(QLocale::c());
            edit->setValidator(validator);
            edit->setMinimumWidth(100);
            commitOnEdit(edit, [this, edit] { commitFrom(edit); });
            w = edit;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(QString::fromStdString(entry->label));
            connect(button, SIGNAL(clicked()), this, slot.constData());
            w = button;
            break;
        }
    }
    w->setObjectName(QString::fromStdString(name));
    w->setToolTip(QString::fromStdString(name));
    controls_[name] = w;
    return w;
}

void SetupPanel::addRow(QGridLayout* grid, int row, const std::string& name) {
    const ControlSpec* entry = setup::findSetupControl(name);
    grid->addWidget(new QLabel(QString::fromStdString(entry->label)), row, 0);
    grid->addWidget(make(name), row, 1);
}

QWidget* SetupPanel::buildConfig() {
    auto* g = new QGridLayout;
    addRow(g, 0, "SETUP_CONFIG_HEX");
    addRow(g, 1, "SETUP_CLOCK_DIVIDER");
    addRow(g, 2, "SETUP_CONFIG_BITS11_12");
    addRow(g, 3, "SETUP_PC1");
    g->addWidget(make("SETUP_CONFIG_BIT4"), 4, 0);
    g->addWidget(make("SETUP_CONFIG_BIT15"), 4, 1);
    return group("Configuration (0:0)", g);
}

QWidget* SetupPanel::buildControl() {
    auto* g = new QGridLayout;
    addRow(g, 0, "SETUP_CONTROL_HEX");
    addRow(g, 1, "SETUP_PC2");
    const char* flags[] = {"SETUP_CONTROL_BIT1", "SETUP_CONTROL_BIT2", "SETUP_CONTROL_BIT4",
                           "SETUP_I1_GAIN",      "SETUP_CONTROL_BIT8", "SETUP_I2_GAIN"};
    for (int i = 0; i < 6; ++i) g->addWidget(make(flags[i]), 2 + i / 2, i % 2);
    return group("Control (0:28)", g);
}

QWidget* SetupPanel::buildOpMode() {
    auto* g = new QGridLayout;
    addRow(g, 0, "SETUP_OPMODE_HEX");
    addRow(g, 1, "SETUP_OPMODE_BITS9_10");
    // The two alternative rings of bits 2..3 share one place; the selector shows one.
    auto* rings = new QHBoxLayout;
    rings->setContentsMargins(0, 0, 0, 0);
    rings->addWidget(make("SETUP_OPMODE_BITS2_3_A"));
    rings->addWidget(make("SETUP_OPMODE_BITS2_3_B"));
    g->addWidget(new QLabel("Bits 2..3"), 2, 0);
    g->addLayout(rings, 2, 1);
    addRow(g, 3, "SETUP_OPMODE_BITS13_14");
    const char* flags[] = {"SETUP_AFC",          "SETUP_OPMODE_BIT1",  "SETUP_I1_HPF",
                           "SETUP_V1_HPF",       "SETUP_I2_HPF",       "SETUP_V2_HPF",
                           "SETUP_OPMODE_BIT12", "SETUP_OPMODE_BIT15", "SETUP_OPMODE_BIT22",
                           "SETUP_OPMODE_BIT23"};
    for (int i = 0; i < 10; ++i) g->addWidget(make(flags[i]), 4 + i / 2, i % 2);
    return group("Operational mode (1:16)", g);
}

QWidget* SetupPanel::buildMask() {
    auto* v = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Word"));
    top->addWidget(make("SETUP_MASK_HEX"));
    top->addStretch(1);
    v->addLayout(top);
    auto* g = new QGridLayout;
    g->setHorizontalSpacing(4);
    for (int bit = 23; bit >= 0; --bit)
        g->addWidget(make("SETUP_MASK_BIT" + std::to_string(bit)), (23 - bit) / 8, (23 - bit) % 8);
    v->addLayout(g);
    return group("Mask (0:26), bits 23..0", v);
}

QWidget* SetupPanel::buildStatus() {
    auto* v = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Word"));
    top->addWidget(make("SETUP_STATUS_HEX"));
    top->addStretch(1);
    top->addWidget(make("SETUP_CLEAR_STATUS"));
    v->addLayout(top);
    auto* g = new QGridLayout;
    g->setHorizontalSpacing(10);
    for (int bit = 23; bit >= 0; --bit) {
        auto* cell = new QHBoxLayout;
        cell->setSpacing(3);
        cell->addWidget(make("SETUP_STATUS_BIT" + std::to_string(bit)));
        cell->addWidget(new QLabel(bit == 0 ? "0 (inv)" : QString::number(bit)));
        cell->addStretch(1);
        g->addLayout(cell, (23 - bit) / 8, (23 - bit) % 8);
    }
    v->addLayout(g);
    return group("Status (0:15), bits 23..0", v);
}

QWidget* SetupPanel::buildCycle() {
    auto* g = new QGridLayout;
    addRow(g, 0, "SETUP_XTAL_SPEED");
    addRow(g, 1, "SETUP_CYCLE_COUNT");
    addRow(g, 2, "SETUP_CYCLE_COUNT_HEX");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(make("SETUP_RESET"));
    buttons->addWidget(make("SETUP_REFRESH"));
    g->addLayout(buttons, 3, 0, 1, 2);
    return group("Oscillator and cycle count (1:19)", g);
}

QWidget* SetupPanel::buildSag() {
    auto* g = new QGridLayout;
    const char* heads[] = {"Count", "Count word", "Level", "Level word"};
    for (int i = 0; i < 4; ++i) g->addWidget(new QLabel(heads[i]), 0, i + 1);
    for (int n = 1; n <= 4; ++n) {
        const std::string s = "SETUP_SAG" + std::to_string(n);
        g->addWidget(new QLabel(QString("Sag %1").arg(n)), n, 0);
        g->addWidget(make(s + "_COUNT"), n, 1);
        g->addWidget(make(s + "_COUNT_HEX"), n, 2);
        g->addWidget(make(s + "_LEVEL"), n, 3);
        g->addWidget(make(s + "_LEVEL_HEX"), n, 4);
    }
    return group("Sag detection (page 2)", g);
}

QWidget* SetupPanel::buildNumeric() {
    auto* g = new QGridLayout;
    g->addWidget(new QLabel("Value"), 0, 1);
    g->addWidget(new QLabel("Word"), 0, 2);
    const char* rows[] = {"SETUP_PULSE_RATE", "SETUP_REG_1_15", "SETUP_REG_1_18",
                          "SETUP_REG_1_24",   "SETUP_VF_RMS",   "SETUP_SETTLE_TIME",
                          "SETUP_EPSILON",    "SETUP_LOAD_MIN"};
    int row = 1;
    for (const char* name : rows) {
        addRow(g, row, name);
        g->addWidget(make(std::string(name) + "_HEX"), row, 2);
        ++row;
    }
    return group("Pulse and other registers (page 1)", g);
}

QWidget* SetupPanel::buildTemperature() {
    auto* g = new QGridLayout;
    g->addWidget(new QLabel("Value (scaled)"), 0, 1);
    g->addWidget(new QLabel("Word"), 0, 2);
    addRow(g, 1, "SETUP_TEMP_GAIN");
    g->addWidget(make("SETUP_TEMP_GAIN_HEX"), 1, 2);
    addRow(g, 2, "SETUP_TEMP_OFFSET");
    g->addWidget(make("SETUP_TEMP_OFFSET_HEX"), 2, 2);
    g->addWidget(make("SETUP_TEMP_SETTINGS"), 3, 0, 1, 3);
    return group("Temperature (1:22, 1:23)", g);
}

QWidget* SetupPanel::buildFiles() {
    auto* h = new QHBoxLayout;
    h->addWidget(make("SETUP_RETRIEVE"));
    h->addWidget(make("SETUP_STORE"));
    return group("Register settings file", h);
}

void SetupPanel::showValues() {
    for (const auto& entry : setup::setupControls()) {
        if (entry.kind == ControlKind::Button) continue;
        QWidget* w = control(entry.name);
        if (!w) continue;
        const double v = model_.value(entry);
        const QSignalBlocker block(w);
        if (auto* box = qobject_cast<QCheckBox*>(w))
            box->setChecked(v != 0.0);
        else if (auto* ring = qobject_cast<QComboBox*>(w))
            ring->setCurrentIndex(static_cast<int>(v - entry.min));
        else if (auto* spin = qobject_cast<QSpinBox*>(w))
            spin->setValue(static_cast<int>(v));
        else if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->setText(numberText(v));  // also clears the modified flag
        else if (auto* lamp = qobject_cast<QLabel*>(w))
            setLamp(lamp, v != 0.0);
        if (entry.name == "SETUP_OPMODE_BITS2_3_A" || entry.name == "SETUP_OPMODE_BITS2_3_B")
            w->setVisible(model_.shown(entry));
    }
}

void SetupPanel::commitFrom(QObject* source) {
    auto* w = qobject_cast<QWidget*>(source);
    if (!w) return;
    const ControlSpec* entry = setup::findSetupControl(w->objectName().toStdString());
    if (!entry || !setup::isEditable(*entry)) return;  // not a control of the table
    double v = 0.0;
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        v = box->isChecked() ? 1.0 : 0.0;
    } else if (auto* ring = qobject_cast<QComboBox*>(w)) {
        v = entry->min + ring->currentIndex();
    } else if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        v = spin->value();
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        bool ok = false;
        v = QLocale::c().toDouble(edit->text().trimmed(), &ok);
        if (!ok) {
            showValues();
            return;
        }
    }
    model_.commit(*entry, v);
    showValues();
}

int SetupPanel::Refresh_Setup() {
    const int status = model_.Refresh_Setup();
    showValues();
    return status;
}

void SetupPanel::CLEAR_STATUS() {
    model_.clearStatus();
    showValues();
}

void SetupPanel::RESET_REFRESH() {
    if (ctx_.session.link.refuseIfBusy()) return;
    if (sender() && sender()->objectName() == "SETUP_RESET")
        model_.reset();
    else
        model_.Refresh_Setup();
    showValues();
}

void SetupPanel::RETRIEVE() {
    if (ctx_.session.link.refuseIfBusy()) return;
    const auto path = ctx_.dialogs.openFile(msg::kRetrieveTitle, kRegisterFilePattern);
    if (!path) {
        ctx_.messages.show("", msg::kFileNotRetrieved);
        return;
    }
    // After a complete retrieve the window shows what the device now holds.
    if (retrieveRegisterFile(ctx_.session.link, ctx_.messages, *path) == 0) Refresh_Setup();
}

void SetupPanel::STORE() {
    if (ctx_.session.link.refuseIfBusy()) return;
    const auto path =
        ctx_.dialogs.saveFile(msg::kStoreTitle, kRegisterFilePattern, "registers.rsf");
    if (!path) {
        ctx_.messages.show("", msg::kFileNotStored);
        return;
    }
    storeRegisterFile(ctx_.session.link, ctx_.messages, *path);
}

void SetupPanel::TEMP_SETTINGS() {
    if (!ctx_.window) return;
    if (auto* w = ctx_.window("pnl_temp")) QMetaObject::invokeMethod(w, "cbf_tempsettingwin");
}

}  // namespace evkit::app
