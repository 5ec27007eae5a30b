#include "diagnostics/debug_panel.h"

#include <algorithm>

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "diagnostics/register_assist_window.h"
#include "ui/display_look.h"
#include "ui/widgets.h"

namespace evkit::app {

namespace {

QPushButton* makeButton(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

}  // namespace

namespace {

// Enter in a typed word box presses its button, as Enter commits every other word box: only
// after the user typed, never on an untouched box.
class EnterPresses : public QObject {
  public:
    EnterPresses(QAbstractSpinBox* box, QPushButton* button) : QObject(box), button_(button) {
        if (auto* line = box->findChild<QLineEdit*>())
            connect(line, &QLineEdit::textEdited, this, [this] { edited_ = true; });
        box->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && edited_ &&
                button_->isEnabled()) {
                edited_ = false;
                static_cast<QAbstractSpinBox*>(watched)->interpretText();
                button_->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QPushButton* button_;
    bool edited_ = false;
};

}  // namespace

DebugPanel::DebugPanel(AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "MENU_DEBUG", "Register Debug", parent) {
    setObjectName("pnl_debug");

    address_ = new QSpinBox(this);
    address_->setObjectName("DEBUG_ADDRESS");
    address_->setRange(0, 31);
    address_->setKeyboardTracking(false);
    writeWord_ = makeHexWordBox(this);
    writeWord_->setObjectName("DEBUG_WRITE_WORD");
    readWord_ = makeHexWordBox(this);
    readWord_->setObjectName("DEBUG_READ_WORD");
    makeResultDisplay(readWord_);
    command_ = makeHexWordBox(this, 0xFF);
    command_->setObjectName("DEBUG_COMMAND");
    bulkCount_ = new QSpinBox(this);
    bulkCount_->setObjectName("DEBUG_BULK_COUNT");
    bulkCount_->setRange(0, diagnostics::kMaxBulkCount);
    bulkCount_->setValue(100);
    bulkCount_->setKeyboardTracking(false);

    writeButton_ = makeButton("Write", "DEBUG_WRITE", this);
    readButton_ = makeButton("Read", "DEBUG_READ", this);
    commandButton_ = makeButton("Send command", "DEBUG_SEND_COMMAND", this);
    bulkButton_ = makeButton("Bulk read", "DEBUG_BULK_READ", this);
    stopButton_ = makeButton("Stop", "DEBUG_STOP", this);
    stopButton_->setEnabled(false);
    assistButton_ = makeButton("Decode a register...", "DEBUG_ASSIST", this);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("DEBUG_PROGRESS");
    progress_->setRange(0, 1);
    progress_->setValue(0);
    status_ = new QLabel(this);
    status_->setObjectName("DEBUG_STATUS");
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Single register: reads and writes act on the page the device has selected now.
    auto* single = new QGroupBox("Register on the selected page", this);
    auto* sg = new QGridLayout(single);
    sg->addWidget(new QLabel("Address (0..31)"), 0, 0);
    sg->addWidget(address_, 0, 1);
    sg->addWidget(new QLabel("Word to write"), 1, 0);
    sg->addWidget(writeWord_, 1, 1);
    sg->addWidget(writeButton_, 1, 2);
    sg->addWidget(new QLabel("Word read"), 2, 0);
    sg->addWidget(readWord_, 2, 1);
    sg->addWidget(readButton_, 2, 2);
    sg->setColumnStretch(1, 1);

    auto* cmd = new QGroupBox("Command byte", this);
    auto* cg = new QGridLayout(cmd);
    cg->addWidget(new QLabel("Byte"), 0, 0);
    cg->addWidget(command_, 0, 1);
    cg->addWidget(commandButton_, 0, 2);
    cg->setColumnStretch(1, 1);

    auto* bulk = new QGroupBox("Bulk read of register 0:address", this);
    auto* bg = new QGridLayout(bulk);
    bg->addWidget(new QLabel("Readings"), 0, 0);
    bg->addWidget(bulkCount_, 0, 1);
    auto* runRow = new QHBoxLayout;
    runRow->addWidget(bulkButton_);
    runRow->addWidget(stopButton_);
    bg->addLayout(runRow, 0, 2);
    bg->addWidget(progress_, 1, 0, 1, 3);
    bg->addWidget(status_, 2, 0, 1, 3);
    bg->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(single);
    layout->addWidget(cmd);
    layout->addWidget(bulk);
    auto* assistRow = new QHBoxLayout;
    assistRow->addStretch(1);
    assistRow->addWidget(assistButton_);
    layout->addLayout(assistRow);
    layout->addStretch(1);
    setMinimumWidth(380);

    connect(writeButton_, &QPushButton::clicked, this, &DebugPanel::cbf_write_reg);
    connect(readButton_, &QPushButton::clicked, this, &DebugPanel::cbf_read_reg);
    connect(commandButton_, &QPushButton::clicked, this, &DebugPanel::cbf_send_command);
    connect(bulkButton_, &QPushButton::clicked, this, &DebugPanel::cbf_bulk_read);
    connect(stopButton_, &QPushButton::clicked, this, &DebugPanel::stopBulkRead);
    connect(assistButton_, &QPushButton::clicked, this, &DebugPanel::cbf_assist);
    new EnterPresses(writeWord_, writeButton_);
}

int DebugPanel::cbf_write_reg() {
    return diagnostics::rawWrite(ctx_.session.link, address_->value(),
                                 static_cast<std::uint32_t>(writeWord_->value()),
                                 ctx_.session.number_of_bits);
}

int DebugPanel::cbf_read_reg() {
    std::int32_t word = 0;
    const int status = diagnostics::rawRead(ctx_.session.link, address_->value(), &word,
                                            ctx_.session.number_of_bits);
    // A failed read has no word: the box keeps the last word read.
    if (status == 0) readWord_->setValue(word & 0xFFFFFF);
    return status;
}

int DebugPanel::cbf_send_command() {
    return diagnostics::sendRawCommand(ctx_.session.link, command_->value(),
                                       ctx_.session.number_of_bits);
}

void DebugPanel::setRunning(bool running) {
    for (QWidget* w : {static_cast<QWidget*>(writeButton_), static_cast<QWidget*>(readButton_),
                       static_cast<QWidget*>(commandButton_), static_cast<QWidget*>(bulkButton_),
                       static_cast<QWidget*>(address_), static_cast<QWidget*>(bulkCount_)})
        w->setEnabled(!running);
    stopButton_->setEnabled(running);
}

int DebugPanel::cbf_bulk_read() {
    const int address = address_->value();
    const int count = bulkCount_->value();
    stopRequested_ = false;
    progress_->setRange(0, count);
    progress_->setValue(0);
    status_->setText(QString("Reading register 0:%1...").arg(address));
    status_->setToolTip({});
    setRunning(true);
    diagnostics::BulkReadHooks hooks;
    hooks.progress = [this](int done, int) { progress_->setValue(done); };
    hooks.stopRequested = [this] { return stopRequested_; };
    const auto r =
        diagnostics::bulkRead(ctx_.session.link, address, count, dumpPath_, bulkTable_, hooks);
    setRunning(false);
    const QString path = QString::fromStdString(r.path);
    // The path goes on a line of its own, shortened in the middle to the width there is (a
    // path has no spaces to wrap at); the tooltip has the whole text.
    const auto showWithPath = [this, &path](const QString& before, const QString& after) {
        const int room = std::max(120, status_->width());
        const QString shown = status_->fontMetrics().elidedText(path, Qt::ElideMiddle, room);
        status_->setText(before + "\n" + shown + after);
        status_->setToolTip(before + " " + path + after);
    };
    if (r.written) {
        showWithPath(QString("%1%2 readings of register 0:%3 written to")
                         .arg(r.stopped ? "Stopped: " : "")
                         .arg(r.readings)
                         .arg(address),
                     "");
    } else if (r.status == diagnostics::kStatusDumpFileError) {
        showWithPath(QString("%1 readings taken, but").arg(r.readings), " could not be written.");
    } else {
        status_->setText("Bulk read failed; no file written.");
    }
    return r.status;
}

int DebugPanel::cbf_assist() {
    if (!assist_) assist_ = new RegisterAssistWindow(ctx_, this);
    assist_->show();
    assist_->raise();
    assist_->activateWindow();
    return 0;
}

}  // namespace evkit::app
