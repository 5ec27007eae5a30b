#pragma once
// The virtual board with one fault armed at a chosen point of an operation, for the failure
// rows that every member of an operation family gets:
//   FaultRig rig;  rig.open();
//   rig.arm(Fault::ReadFails, 1);   // the second answer read fails
// WriteFails: the n-th frame that is not a page select fails to write.
// ReadFails:  the n-th answer read fails.
// BoardLost:  the board is unplugged at the start of the n-th board command (its flush).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim_rig.h"

namespace evkit::test {

enum class Fault { WriteFails, ReadFails, BoardLost };

inline const char* faultName(Fault f) {
    return f == Fault::WriteFails  ? "write fails"
           : f == Fault::ReadFails ? "read fails"
                                   : "board lost";
}

// The message the command layer shows for each fault.
inline const char* faultMessage(Fault f) {
    return f == Fault::WriteFails  ? msg::kWriteError
           : f == Fault::ReadFails ? msg::kReadError
                                   : msg::kConnectionLost;
}

class FaultTap : public F32x {
  public:
    explicit FaultTap(sim::VirtualBoard& board) : board_(board) {}
    void arm(Fault f, int skip) {
        fault_ = f;
        left_ = skip;
        armed_ = true;
    }
    int GetNumDevices(std::uint32_t* c) override { return board_.GetNumDevices(c); }
    int GetProductString(std::uint32_t i, std::string* p) override {
        return board_.GetProductString(i, p);
    }
    int Open(std::uint32_t i, F32xHandle* h) override { return board_.Open(i, h); }
    int SetTimeouts(std::uint32_t r, std::uint32_t w) override { return board_.SetTimeouts(r, w); }
    int Write(F32xHandle h, const std::uint8_t* b, std::uint32_t n, std::uint32_t* w) override {
        if (n > 0 && b[0] != 0x7E && due(Fault::WriteFails)) board_.failNextWrite();
        return board_.Write(h, b, n, w);
    }
    int Read(F32xHandle h, std::uint8_t* b, std::uint32_t n, std::uint32_t* r) override {
        if (due(Fault::ReadFails)) board_.failNextRead();
        return board_.Read(h, b, n, r);
    }
    int CheckRXQueue(F32xHandle h, std::uint32_t* b, std::uint32_t* s) override {
        return board_.CheckRXQueue(h, b, s);
    }
    int FlushBuffers(F32xHandle h) override {
        framesAtFlush.push_back(board_.framesReceived().size());
        if (due(Fault::BoardLost)) board_.unplug();
        return board_.FlushBuffers(h);
    }
    int Close(F32xHandle h) override { return board_.Close(h); }
    bool triggered() const { return !armed_; }
    double triggeredAt = -1;                 // board time of the injected fault
    std::vector<std::size_t> framesAtFlush;  // frames received when each command began

  private:
    bool due(Fault f) {
        if (!armed_ || fault_ != f) return false;
        if (left_-- > 0) return false;
        armed_ = false;
        triggeredAt = board_.now();
        return true;
    }
    sim::VirtualBoard& board_;
    Fault fault_ = Fault::WriteFails;
    int left_ = 0;
    bool armed_ = false;
};

struct FaultRig : SimRig {
    explicit FaultRig(const std::string& variant = sim::kDefaultVariant) : SimRig(variant) {
        link.setTransport(tap);
        link.onConnectionLost = [this] { ++lost; };
    }
    // Opens the board and forgets the opening's frames and messages.
    int openQuietly() {
        const int s = open();
        takeFrames();
        messages.shown.clear();
        return s;
    }
    void arm(Fault f, int skip = 0) { tap.arm(f, skip); }
    FaultTap tap{board};
    int lost = 0;  // connection-lost notifications
};

// Runs `op` on a fresh opened board without a fault, then with each fault at every point the
// operation reaches. Each failing run must return non-zero, show exactly the fault's message,
// say a lost board once, and send exactly the frames of the successful run up to the failure
// (a failed write: the frames before it; a failed read: up to its request; a lost board: the
// frames of the commands before). `prepare` runs before the fault is armed; `check` adds the
// member's own assertions (what it shows) for each failing run. An operation that reads
// back after a failed write by design (`readsBackAfterFailure`) is held only to the status,
// the first message and `check`.
inline void sweepFaults(const std::function<void(FaultRig&)>& prepare,
                        const std::function<int(FaultRig&)>& op,
                        const std::function<void(FaultRig&, Fault, int)>& check,
                        bool readsBackAfterFailure = false) {
    std::vector<std::string> good;
    std::vector<std::size_t> starts;
    {
        FaultRig rig;
        ASSERT_EQ(rig.openQuietly(), 0);
        prepare(rig);
        rig.takeFrames();
        rig.tap.framesAtFlush.clear();
        ASSERT_EQ(op(rig), 0);
        ASSERT_TRUE(rig.messages.shown.empty());
        good = rig.takeFrames();
        starts = rig.tap.framesAtFlush;
    }
    const auto nth = [&](int k, auto pred) {
        for (std::size_t i = 0; i < good.size(); ++i)
            if (pred(std::stoi(good[i].substr(0, 2), nullptr, 16)) && k-- == 0) return i;
        return good.size();
    };
    for (Fault fault : {Fault::WriteFails, Fault::ReadFails, Fault::BoardLost}) {
        for (int skip = 0;; ++skip) {
            SCOPED_TRACE(std::string(faultName(fault)) + " at " + std::to_string(skip));
            FaultRig rig;
            ASSERT_EQ(rig.openQuietly(), 0);
            prepare(rig);
            rig.takeFrames();
            rig.messages.shown.clear();
            rig.arm(fault, skip);
            const int status = op(rig);
            if (!rig.tap.triggered()) break;
            ASSERT_LT(skip, 64);
            EXPECT_NE(status, 0);
            ASSERT_FALSE(rig.messages.shown.empty());
            EXPECT_EQ(rig.messages.shown[0].second, faultMessage(fault));
            if (readsBackAfterFailure) {
                check(rig, fault, skip);
                continue;
            }
            EXPECT_EQ(rig.messages.shown.size(), 1u);
            EXPECT_EQ(rig.lost, fault == Fault::BoardLost ? 1 : 0);
            std::size_t sent = 0;
            if (fault == Fault::WriteFails) sent = nth(skip, [](int b) { return b != 0x7E; });
            if (fault == Fault::ReadFails)
                sent = nth(skip, [](int b) { return b <= 62 || b == 245; }) + 1;
            if (fault == Fault::BoardLost) sent = starts.at(static_cast<std::size_t>(skip));
            const std::vector<std::string> expect(good.begin(),
                                                  good.begin() + static_cast<long>(sent));
            EXPECT_EQ(rig.takeFrames(), expect);
            check(rig, fault, skip);
        }
    }
}

}  // namespace evkit::test
