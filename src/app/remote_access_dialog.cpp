#include "app/remote_access_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "board/connection.h"
#include "metrology/scaling.h"

namespace evkit::app {

namespace {

// Runs remote board commands on the GUI thread, between its events.
class GuiThreadExecutor : public scpi::BoardExecutor {
  public:
    void post(std::function<void()> job) override {
        QMetaObject::invokeMethod(qApp, std::move(job), Qt::QueuedConnection);
    }
};

QString clientsText(int n) {
    return QString("Remote: %1 client%2").arg(n).arg(n == 1 ? "" : "s");
}

}  // namespace

RemoteAccessDialog::RemoteAccessDialog(AppContext& ctx, QLabel* statusLabel,
                                       std::function<void(bool)> onRunning, QWidget* parent)
    : QDialog(parent), ctx_(ctx), statusLabel_(statusLabel), onRunning_(std::move(onRunning)) {
    setObjectName("pnl_remote");
    setWindowTitle("Remote access");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Serves the connected board as a SCPI instrument over TCP (VISA resource "
        "TCPIP::host::port::SOCKET). The windows stay usable; a board command is refused "
        "while another one owns the board.",
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    listen_ = new QLineEdit("127.0.0.1:5025", this);
    listen_->setObjectName("REMOTE_LISTEN");
    form->addRow("Listen on:", listen_);
    allow_ = new QLineEdit(this);
    allow_->setObjectName("REMOTE_ALLOW");
    allow_->setPlaceholderText("e.g. 192.168.10.0/24, 10.1.0.0/16");
    form->addRow("Allowed clients:", allow_);
    tokenFile_ = new QLineEdit(this);
    tokenFile_->setObjectName("REMOTE_TOKEN_FILE");
    tokenFile_->setPlaceholderText("file readable only by you");
    form->addRow("Token file:", tokenFile_);
    readOnly_ = new QCheckBox("Read-only (refuse writes, calibrations, EEPROM writes)", this);
    readOnly_->setObjectName("REMOTE_READ_ONLY");
    form->addRow("", readOnly_);
    maxClients_ = new QSpinBox(this);
    maxClients_->setObjectName("REMOTE_MAX_CLIENTS");
    maxClients_->setRange(1, 1000);
    maxClients_->setValue(8);
    form->addRow("Clients at most:", maxClients_);
    layout->addLayout(form);
    state_ = new QLabel("Stopped.", this);
    state_->setObjectName("REMOTE_STATE");
    state_->setWordWrap(true);
    state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(state_);
    button_ = new QPushButton("Start", this);
    button_->setObjectName("REMOTE_START");
    connect(button_, &QPushButton::clicked, this, &RemoteAccessDialog::REMOTE_START);
    layout->addWidget(button_);
    statusLabel_->hide();
}

RemoteAccessDialog::~RemoteAccessDialog() {
    // The program is ending: no remote command runs on this (the GUI) thread now.
    if (server_) server_->stop();
}

unsigned RemoteAccessDialog::port() const {
    return server_ ? server_->port() : 0;
}

void RemoteAccessDialog::REMOTE_START() {
    if (running()) {
        stop();
        return;
    }
    QString why;
    if (!start(&why)) {
        state_->setText(why);
        ctx_.messages.show("Error", why.toStdString());
    }
}

bool RemoteAccessDialog::start(QString* why) {
    Session& session = ctx_.session;
    BoardLink& link = session.link;
    if (link.cyHandle == 0) {
        *why = "Connect the board first (Connection \u25B8 USB Board).";
        return false;
    }
    std::string error;
    scpi::ServerOptions options;
    const auto listen = scpi::parseListenAddress(listen_->text().trimmed().toStdString(), &error);
    if (!listen) {
        *why = QString("Listen on: %1").arg(QString::fromStdString(error));
        return false;
    }
    options.listen = *listen;
    for (const QString& part :
         allow_->text().split(QRegularExpression("[,\\s]+"), Qt::SkipEmptyParts)) {
        const auto range = scpi::parseAddressRange(part.toStdString(), &error);
        if (!range) {
            *why = QString("Allowed clients: %1").arg(QString::fromStdString(error));
            return false;
        }
        options.allow.push_back(*range);
    }
    options.maxClients = static_cast<std::size_t>(maxClients_->value());
    const std::string tokenPath = tokenFile_->text().trimmed().toStdString();
    if (const auto refusal = scpi::checkExposure(options, !tokenPath.empty()); !refusal.empty()) {
        *why = QString::fromStdString(refusal);
        return false;
    }
    scpi::InstrumentOptions instrumentOptions;
    instrumentOptions.readOnly = readOnly_->isChecked();
    if (!tokenPath.empty()) {
        const auto token = scpi::readTokenFile(tokenPath, &error);
        if (!token) {
            *why = QString::fromStdString(error);
            return false;
        }
        instrumentOptions.token = *token;
    }
    if (link.busy()) {
        *why = QString("The board is busy (%1); try again when it is done.")
                   .arg(QString::fromStdString(link.owner()));
        return false;
    }
    int status = 0;
    const auto ids = query_board_id(link, &status);
    if (status != 0) {
        *why = "The board did not answer its identification query.";
        return false;
    }
    // The device as the start window shows it after identification ("PM7014 Rev C").
    std::string model = chipName(session.chip);
    if (const auto* shown =
            parentWidget() ? parentWidget()->findChild<QLabel*>("START_DEVICE_NAME") : nullptr;
        shown && !shown->text().isEmpty())
        model = shown->text().toStdString();
    const scpi::Identity identity = scpi::makeIdentity(model, ids);
    // Remote commands' messages go to their client when the link's messages can route them.
    auto* routed = dynamic_cast<scpi::JobMessages*>(&link.messages());
    if (!routed) {
        ownMessages_ = std::make_unique<scpi::JobMessages>(&ctx_.messages);
        routed = ownMessages_.get();
    }
    executor_ = std::make_unique<GuiThreadExecutor>();
    instrument_ = std::make_unique<scpi::Instrument>(
        scpi::BoardContext{session, link, ctx_.console, link.pump(), *routed}, instrumentOptions,
        identity);
    instrument_->scaling = metrology::savedScaling();  // as the Scaling window keeps it
    instrument_->log = [](const std::string& line) {
        std::fprintf(stderr, "remote: %s\n", line.c_str());
        std::fflush(stderr);
    };
    server_ = std::make_unique<scpi::Server>(*instrument_, *executor_, options);
    server_->onClientsChanged = [this](int n) {
        QMetaObject::invokeMethod(
            this, [this, n] { showClients(n); }, Qt::QueuedConnection);
    };
    if (!server_->start(&error)) {
        server_.reset();
        instrument_.reset();
        *why = QString::fromStdString(error);
        return false;
    }
    const QString host = QString::fromStdString(listen->host);
    state_->setText(QString("Listening on %1:%2.").arg(host).arg(server_->port()));
    button_->setText("Stop");
    for (QWidget* w :
         std::initializer_list<QWidget*>{listen_, allow_, tokenFile_, readOnly_, maxClients_})
        w->setEnabled(false);
    showClients(0);
    statusLabel_->show();
    if (onRunning_) onRunning_(true);
    return true;
}

void RemoteAccessDialog::stop() {
    if (!server_) return;
    // A remote command running underneath (a capture processing events) ends first; the
    // server stops right after it.
    if (instrument_->activeClient.load() != 0) {
        ctx_.session.link.pump().requestCancel();
        state_->setText("Stopping...");
        QTimer::singleShot(20, this, [this] { stop(); });
        return;
    }
    server_->stop();
    server_.reset();
    instrument_.reset();
    executor_.reset();
    state_->setText("Stopped.");
    button_->setText("Start");
    for (QWidget* w :
         std::initializer_list<QWidget*>{listen_, allow_, tokenFile_, readOnly_, maxClients_})
        w->setEnabled(true);
    statusLabel_->hide();
    if (onRunning_) onRunning_(false);
}

void RemoteAccessDialog::showClients(int clients) {
    if (!server_) return;
    statusLabel_->setText(clientsText(clients));
}

}  // namespace evkit::app
