#pragma once
// Program ▸ Remote access…: starts and stops the instrument server over the desktop
// program's own board link. Remote board commands run on the GUI thread between the
// windows' events; the busy guard keeps a window's long operation and a remote command
// apart. While the server runs the start window's status bar shows "Remote: N clients".
#include <QDialog>
#include <memory>

#include "scpi/server.h"
#include "ui/app_context.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace evkit::app {

class RemoteAccessDialog : public QDialog {
    Q_OBJECT
  public:
    // `statusLabel` is the start window's label for "Remote: N clients"; `onRunning` is told
    // when the server starts (true) or stops (false).
    RemoteAccessDialog(AppContext& ctx, QLabel* statusLabel, std::function<void(bool)> onRunning,
                       QWidget* parent);
    ~RemoteAccessDialog() override;
    bool running() const { return server_ != nullptr; }
    unsigned port() const;

  public slots:
    // The Start / Stop button.
    void REMOTE_START();

  private:
    bool start(QString* why);
    void stop();
    void showClients(int clients);

    AppContext& ctx_;
    QLabel* statusLabel_;
    std::function<void(bool)> onRunning_;
    QLineEdit* listen_;
    QLineEdit* allow_;
    QLineEdit* tokenFile_;
    QCheckBox* readOnly_;
    QSpinBox* maxClients_;
    QPushButton* button_;
    QLabel* state_;
    std::unique_ptr<scpi::JobMessages> ownMessages_;
    std::unique_ptr<scpi::BoardExecutor> executor_;
    std::unique_ptr<scpi::Instrument> instrument_;
    std::unique_ptr<scpi::Server> server_;
};

}  // namespace evkit::app
