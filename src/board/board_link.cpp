#include "board/board_link.h"

#include <chrono>
#include <future>
#include <system_error>

namespace evkit {

namespace {

bool isPlainDeviceCommand(int b) {
    switch (b) {
        case 128: case 144: case 160: case 176: case 192: case 224: case 232: case 244:
        case 254: case 255:
            return true;
        default:
            return b >= 0x81 && b <= 0xBF && (b & 0x0F) != 0;
    }
}

}  // namespace

bool BoardLink::sendsCommand(int b) {
    return b == 245 || (b >= 0 && b <= 62) || (b >= 64 && b <= 126) || b == 248 || b == 246 ||
           isPlainDeviceCommand(b);
}

int BoardLink::writeFrame(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3,
                          std::uint8_t b4, std::uint8_t b5) {
    wBuffer[0] = b0;
    wBuffer[1] = b1;
    wBuffer[2] = b2;
    wBuffer[3] = b3;
    wBuffer[4] = b4;
    wBuffer[5] = b5;
    std::uint32_t written = 0;
    const int status = transport_->Write(cyHandle, wBuffer.data(), 6, &written);
    if (status != 0) messages_.show(msg::kErrorTitle, msg::kWriteError);
    return status;
}

void BoardLink::reportConnectionLost(int status) {
    if (sequenceDepth_ > 0) {
        if (sequenceLost_ != 0) return;  // said already
        sequenceLost_ = status != 0 ? status : kF32xDeviceNotFound;
    }
    messages_.show(msg::kErrorTitle, msg::kConnectionLost);
    if (onConnectionLost) onConnectionLost();
}

int BoardLink::Fun_USB(std::int32_t code, int d1, int d2, int d3, int width,
                       std::int32_t* result) {
    if (closedForDiskMode) return refuseClosed();
    if (insideEventProcessing()) return refuseBusy();
    // The board was found gone earlier in this sequence: said once already.
    if (sequenceLost_ != 0) return sequenceLost_;
    int poolStatus = 0;

    // 1. Flush; a failure here means the board is gone.
    int status = transport_->FlushBuffers(cyHandle);
    if (status != 0) {
        reportConnectionLost(status);
        return status;
    }

    const int b = code & 0xFF;
    const int page = (code >> 8) & 0xFF;
    const bool pageSelect = b < 0x80 && (static_cast<std::uint32_t>(code) & 0x80000000u) == 0;

    // 2. Page select, for page 0 as well.
    if (pageSelect) {
        status = writeFrame(0x7E, static_cast<std::uint8_t>(page), 0, 0, 0, 0);
        if (status != 0) return status;
    }

    // 3. Pacing delay before every command.
    clock_.delay(0.01);

    // 4. The command itself.
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    std::uint32_t got = 0;
    if (b == 245 || b <= 62) {
        const bool wide = b != 245 && width == 32;
        status = writeFrame(static_cast<std::uint8_t>(b), 0, 0, 0, 0, wide ? 1 : 0);
        if (status != 0) return status;
        const std::uint32_t count = wide ? 4 : 3;
        status = transport_->Read(cyHandle, rBuffer.data(), count, &got);
        // A short answer is a failed read too: its missing bytes would come from the
        // previous answer.
        if (status == 0 && got != count) status = kF32xReadError;
        if (status != 0) {
            messages_.show(msg::kErrorTitle, msg::kReadError);
            return status;
        }
        std::uint32_t word = rBuffer[0] | (rBuffer[1] << 8) | (rBuffer[2] << 16);
        if (wide) word |= static_cast<std::uint32_t>(rBuffer[3]) << 24;
        if (result) *result = static_cast<std::int32_t>(word);
    } else if (b >= 64 && b <= 126) {
        status = writeFrame(static_cast<std::uint8_t>(b), lo(d1), lo(d2), lo(d3), 0, 0);
        if (status != 0) return status;
    } else if (b == 248) {
        poolStatus = collectData(d1, d2, d3);
        if (Rcv_Pac_Ret != 0) return 1;
        if (poolStatus != 0) return poolStatus;
    } else if (b == 246) {
        status = measure(d1, d2, d3, result);
        if (status != 0) return status;
    } else if (isPlainDeviceCommand(b)) {
        status = writeFrame(static_cast<std::uint8_t>(b), 0, 0, 0, 0, 0);
        if (status != 0) return status;
    } else {
        messages_.show(msg::kNotValidTitle, msg::kNotValid);
    }

    // 5. Back to page 0 after a non-zero page.
    if (pageSelect && page != 0) {
        status = writeFrame(0x7E, 0, 0, 0, 0, 0);
        if (status != 0) return status;
    }
    return poolStatus;
}

int BoardLink::collectData(int d1, int d2, int d3) {
    Rcv_Pac_Ret = 0;
    if (!collectionWorker) {
        messages_.show(msg::kErrorTitle, "No data collection worker is installed.");
        return kF32xInvalidParameter;
    }
    std::future<int> done;
    try {
        done = std::async(std::launch::async, [this, d1, d2, d3] {
            return collectionWorker(*this, static_cast<std::uint8_t>(d1),
                                    static_cast<std::uint8_t>(d2), static_cast<std::uint8_t>(d3));
        });
    } catch (const std::system_error& e) {
        messages_.show(msg::kErrorTitle, e.what());
        return e.code().value() != 0 ? e.code().value() : kF32xIoFailed;
    }
    // Wait for the worker while keeping the user interface alive; a stop request (stop
    // button, Ctrl-C) is passed on to the worker.
    collectionCancel_ = false;
    while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        processEvents();
        if (pump_.cancelRequested()) collectionCancel_ = true;
    }
    collectionCancel_ = false;
    const int workerResult = done.get();
    (void)workerResult;  // the worker's own result is not consulted; Rcv_Pac_Ret is
    flushDeferred();
    return 0;
}

int BoardLink::measure(int d1, int d2, int d3, std::int32_t* result) {
    if (result) {
        result[0] = 0;
        result[1] = 0;
    }
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    int status = writeFrame(246, lo(d1), lo(d2), lo(d3), 0, 0);
    if (status != 0) return status;
    // A board that answers is waited for as long as it takes; one that sends nothing at all
    // for the gate time (units of 20 ms) plus the silence limit is given up.
    const double gate = (lo(d1) | (lo(d2) << 8) | (lo(d3) << 16)) * 0.02;
    const double started = clock_.now();
    bool heard = false;
    for (;;) {
        std::uint32_t devices = 0;
        status = transport_->GetNumDevices(&devices);
        if (status == 0 && devices == 0) status = kF32xDeviceNotFound;
        if (status != 0) {
            reportConnectionLost(status);
            return status;
        }
        std::uint32_t bytes = 0, state = 0;
        status = transport_->CheckRXQueue(cyHandle, &bytes, &state);
        if (status != 0) {
            messages_.show(msg::kErrorTitle, msg::kQueueError);
            return status;
        }
        processEvents();
        if (pump_.cancelRequested()) {
            status = writeFrame(0xA0, 0, 0, 0, 0, 0);
            if (status != 0) return status;
            status = transport_->FlushBuffers(cyHandle);
            if (status != 0) {
                messages_.show(msg::kErrorTitle, msg::kCancelFlushError);
                return status;
            }
            return kStatusCancelled;
        }
        if (state & kRxReady) break;
        heard = heard || bytes > 0;
        if (!heard && clock_.now() - started > gate + kMeasurementSilenceLimit) {
            messages_.show(msg::kErrorTitle, msg::kMeasurementTimedOut);
            // Rest the device in case it counts on; its status is not consulted.
            writeFrame(0xA0, 0, 0, 0, 0, 0);
            return kStatusTimedOut;
        }
        clock_.pollPause();
    }
    std::uint32_t got = 0;
    status = transport_->Read(cyHandle, rBuffer.data(), 9, &got);
    if (status == 0 && got != 9) status = kF32xReadError;  // short answer: failed read
    if (status != 0) {
        messages_.show(msg::kErrorTitle, msg::kReadError);
        return status;
    }
    const auto word = [this](int at) {
        return static_cast<std::int32_t>(rBuffer[at] | (rBuffer[at + 1] << 8) |
                                         (rBuffer[at + 2] << 16));
    };
    if (result) {
        result[1] = word(0);
        result[0] = word(3);
        result[2] = word(6);
    }
    return 0;
}

void BoardLink::deferMessage(std::string title, std::string text) {
    std::lock_guard<std::mutex> lock(deferredMutex_);
    deferredMessages_.emplace_back(std::move(title), std::move(text));
}

void BoardLink::deferConnectionLost() {
    std::lock_guard<std::mutex> lock(deferredMutex_);
    deferredMessages_.emplace_back(msg::kErrorTitle, msg::kConnectionLost);
    deferredLost_ = true;
}

void BoardLink::flushDeferred() {
    std::vector<std::pair<std::string, std::string>> pending;
    bool lost;
    {
        std::lock_guard<std::mutex> lock(deferredMutex_);
        pending.swap(deferredMessages_);
        lost = deferredLost_;
        deferredLost_ = false;
    }
    for (const auto& [title, text] : pending) messages_.show(title, text);
    if (lost && onConnectionLost) onConnectionLost();
}

bool BoardLink::tryClaim(const std::string& what) {
    if (busy() || insideEventProcessing()) {
        refuseBusy();
        return false;
    }
    owner_ = what;
    return true;
}

void BoardLink::release() { owner_.clear(); }

void BoardLink::processEvents() {
    ++eventDepth_;
    pump_.processEvents();
    --eventDepth_;
}

int BoardLink::refuseClosed() {
    const std::string text =
        "The board is closed while a disk file is analysed. Choose Connection \u25B8 USB Board "
        "to use the board again.";
    if (onBusyNotice)
        onBusyNotice(text);
    else
        messages_.show(msg::kErrorTitle, text);
    return kStatusClosed;
}

int BoardLink::refuseBusy() {
    const std::string what = owner_.empty() ? std::string("another operation") : owner_;
    const std::string text = "The board is busy (" + what +
                             " is running). Wait until it ends or stop it, then try again.";
    if (onBusyNotice)
        onBusyNotice(text);
    else
        messages_.show(msg::kErrorTitle, text);
    return kStatusBusy;
}

}  // namespace evkit
