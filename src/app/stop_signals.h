#pragma once
// SIGTERM (kill, a logout, a service manager), SIGHUP (a closed terminal) and SIGINT
// (Ctrl-C in the terminal the program was started from) as requests to quit: the handler
// only writes the signal's number into a pipe; a socket notifier reads it on the GUI thread
// and calls onSignal there, where the board can be stopped and closed. A second signal of
// the same kind ends the program at once.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace evkit::app {

class StopSignals : public QObject {
  public:
    explicit StopSignals(std::function<void(int signo)> onSignal, QObject* parent = nullptr);
    // Puts the previous handlers back.
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when the pipe could not be made (the signals then keep their default action).
    bool installed() const { return installed_; }

  private:
    void readSignal();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace evkit::app
