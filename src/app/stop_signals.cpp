#include "app/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace evkit::app {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_writeEnd = -1;
int g_readEnd = -1;
struct sigaction g_previous[3];

void onStopSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    if (g_writeEnd >= 0) (void)::write(g_writeEnd, &byte, 1);
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (g_writeEnd >= 0) return;  // one instance at a time
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    notifier_ = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readSignal(); });
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &g_previous[i]);
    installed_ = true;
}

StopSignals::~StopSignals() {
    if (!installed_) return;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_readEnd);
    ::close(g_writeEnd);
    g_readEnd = g_writeEnd = -1;
}

void StopSignals::readSignal() {
    unsigned char byte = 0;
    while (::read(g_readEnd, &byte, 1) == 1)
        if (onSignal_) onSignal_(byte);
}

}  // namespace evkit::app
