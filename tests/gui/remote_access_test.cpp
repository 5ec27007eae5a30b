// Program ▸ Remote access…: the instrument server started and stopped from the desktop
// program, remote board commands run between the window's events, the busy guard between a
// window's long operation and a remote client, and "Remote: N clients" on the start window.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <chrono>

#include "app/remote_access_dialog.h"
#include "shell_rig.h"

namespace evkit::test {
namespace {

// A client that waits for answers while the GUI thread keeps processing its events.
class GuiClient {
  public:
    explicit GuiClient(unsigned port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~GuiClient() { ::close(fd_); }
    // Sends the line and returns the answer line ("<timeout>" after 5 s).
    std::string query(const std::string& q) {
        const std::string line = q + "\n";
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::size_t sent = 0;
        std::string in;
        while (std::chrono::steady_clock::now() < end) {
            QApplication::processEvents();
            if (sent < line.size()) {
                const auto n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
                if (n > 0) sent += static_cast<std::size_t>(n);
                continue;
            }
            char c;
            const auto n = ::recv(fd_, &c, 1, 0);
            if (n == 1) {
                if (c == '\n') return in;
                in += c;
            } else if (n == 0) {
                return "<closed>";
            }
        }
        return "<timeout>";
    }

  private:
    int fd_ = -1;
};

void waitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < end) QApplication::processEvents();
}

struct RemoteRig : ShellRig {
    app::RemoteAccessDialog* dialog() {
        item("MENU_REMOTE")->trigger();
        return start().findChild<app::RemoteAccessDialog*>("pnl_remote");
    }
    QLabel* remoteLabel() { return start().statusBar()->findChild<QLabel*>("START_REMOTE"); }
};

TEST(RemoteAccess, StartsServesCountsClientsAndStops) {
    RemoteRig r;
    auto* d = r.dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    auto* button = d->findChild<QPushButton*>("REMOTE_START");
    d->findChild<QLineEdit*>("REMOTE_LISTEN")->setText("127.0.0.1:0");
    button->click();  // no board yet
    EXPECT_FALSE(d->running());
    ASSERT_FALSE(r.rig.messages.shown.empty());
    EXPECT_EQ(r.rig.messages.shown.back().second,
              "Connect the board first (Connection \u25B8 USB Board).");
    r.connect();
    button->click();
    ASSERT_TRUE(d->running());
    EXPECT_TRUE(r.checked("MENU_REMOTE"));
    EXPECT_EQ(button->text(), "Stop");
    EXPECT_FALSE(d->findChild<QLineEdit*>("REMOTE_LISTEN")->isEnabled());
    EXPECT_FALSE(r.remoteLabel()->isHidden());
    EXPECT_EQ(r.remoteLabel()->text(), "Remote: 0 clients");
    r.rig.takeFrames();
    {
        GuiClient a(d->port()), b(d->port());
        EXPECT_EQ(a.query("*IDN?").substr(0, 22), "EVKIT714,PM7014 Rev C,");
        EXPECT_EQ(b.query("REG:WRIT 1,22,#H123456;READ? 1,22"), "#H123456");
        waitFor([&] { return r.remoteLabel()->text() == "Remote: 2 clients"; });
        EXPECT_EQ(r.remoteLabel()->text(), "Remote: 2 clients");
        // The remote write went out as the board's frame.
        bool wrote = false;
        for (const auto& f : r.rig.takeFrames()) wrote = wrote || f == "6c 56 34 12 00 00";
        EXPECT_TRUE(wrote);
        // A long operation of the desktop program holds the board: the remote client is
        // refused, told why, and nothing reaches the board.
        BoardClaim claim(r.rig.link, "the data collection");
        EXPECT_EQ(a.query("REG:READ? 1,22;SYST:ERR?"),
                  "-240,\"Hardware error;busy: the data collection owns the board\"");
        EXPECT_TRUE(r.rig.takeFrames().empty());
    }
    waitFor([&] { return r.remoteLabel()->text() == "Remote: 0 clients"; });
    EXPECT_EQ(r.remoteLabel()->text(), "Remote: 0 clients");
    button->click();
    EXPECT_FALSE(d->running());
    EXPECT_FALSE(r.checked("MENU_REMOTE"));
    EXPECT_TRUE(r.remoteLabel()->isHidden());
    EXPECT_TRUE(d->findChild<QLineEdit*>("REMOTE_LISTEN")->isEnabled());
}

TEST(RemoteAccess, NetworkListenWithoutRangesAndTokenIsRefused) {
    RemoteRig r;
    r.connect();
    auto* d = r.dialog();
    d->findChild<QLineEdit*>("REMOTE_LISTEN")->setText("0.0.0.0:0");
    d->findChild<QPushButton*>("REMOTE_START")->click();
    EXPECT_FALSE(d->running());
    EXPECT_FALSE(r.checked("MENU_REMOTE"));
    EXPECT_NE(r.rig.messages.shown.back().second.find("--allow"), std::string::npos);
    EXPECT_TRUE(r.remoteLabel()->isHidden());
}

TEST(RemoteAccess, Screenshots) {
    const QString dir = qEnvironmentVariable("EVKIT_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "EVKIT_SCREENSHOT_DIR not set";
    RemoteRig r;
    r.connect();
    auto* d = r.dialog();
    d->findChild<QLineEdit*>("REMOTE_LISTEN")->setText("127.0.0.1:0");
    d->findChild<QPushButton*>("REMOTE_START")->click();
    GuiClient a(d->port()), b(d->port());
    a.query("*OPC?");
    b.query("*OPC?");
    waitFor([&] { return r.remoteLabel()->text() == "Remote: 2 clients"; });
    r.start().show();
    EXPECT_TRUE(d->grab().save(QDir(dir).filePath("remote_access.png")));
    EXPECT_TRUE(r.start().grab().save(QDir(dir).filePath("start_remote.png")));
}

}  // namespace
}  // namespace evkit::test
