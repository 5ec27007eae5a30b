#pragma once
// The desktop shell over a virtual board with recorded messages and scripted file choices.
#include <QAction>
#include <QLabel>
#include <string>
#include <vector>

#include "app/shell.h"
#include "app/start_window.h"
#include "sim_rig.h"

namespace evkit::test {

// Forwards to another transport, counting calls; can fail Close.
class CountingTransport : public F32x {
  public:
    explicit CountingTransport(F32x& inner) : inner_(inner) {}
    int GetNumDevices(std::uint32_t* c) override { return ++calls, inner_.GetNumDevices(c); }
    int GetProductString(std::uint32_t i, std::string* p) override {
        return ++calls, inner_.GetProductString(i, p);
    }
    int Open(std::uint32_t i, F32xHandle* h) override { return ++calls, inner_.Open(i, h); }
    int SetTimeouts(std::uint32_t r, std::uint32_t w) override {
        return ++calls, inner_.SetTimeouts(r, w);
    }
    int Write(F32xHandle h, const std::uint8_t* b, std::uint32_t n, std::uint32_t* w) override {
        return ++calls, inner_.Write(h, b, n, w);
    }
    int Read(F32xHandle h, std::uint8_t* b, std::uint32_t n, std::uint32_t* r) override {
        return ++calls, inner_.Read(h, b, n, r);
    }
    int CheckRXQueue(F32xHandle h, std::uint32_t* b, std::uint32_t* s) override {
        return ++calls, inner_.CheckRXQueue(h, b, s);
    }
    int FlushBuffers(F32xHandle h) override { return ++calls, inner_.FlushBuffers(h); }
    int Close(F32xHandle h) override {
        ++calls;
        ++closes;
        return failClose ? kF32xIoFailed : inner_.Close(h);
    }
    int calls = 0, closes = 0;
    bool failClose = false;

  private:
    F32x& inner_;
};

struct ShellRig {
    explicit ShellRig(const std::string& variant = sim::kDefaultVariant)
        : rig(variant), shell(rig.session, rig.messages, rig.console, dialogs, rig.clock) {
        start().endEventLoop = [this](int code) { exits.push_back(code); };
    }
    app::StartWindow& start() { return shell.start(); }
    QAction* item(const char* role) { return start().menuItem(role); }
    bool checked(const char* role) { return item(role)->isChecked(); }
    bool usable(const char* role) { return item(role)->isEnabled(); }
    QString label(const char* name) { return start().findChild<QLabel*>(name)->text(); }
    void connect() { item("MENU_USB")->trigger(); }

    SimRig rig;
    ScriptedFileDialogs dialogs;
    std::vector<int> exits;
    app::Shell shell;
};

}  // namespace evkit::test
