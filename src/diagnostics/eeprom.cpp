#include "diagnostics/eeprom.h"

#include <algorithm>

#include "support/format.h"

namespace evkit::diagnostics {

namespace {

int writeEepromFrame(BoardLink& link, Console& console, std::uint8_t b0, std::uint8_t b1,
                     std::uint8_t b2) {
    auto& w = link.wBuffer;
    w[0] = b0;
    w[1] = b1;
    w[2] = b2;
    w[3] = w[4] = w[5] = 0;
    std::uint32_t written = 0;
    const int status = link.transport().Write(link.cyHandle, w.data(), 6, &written);
    if (status != 0) console.print(strprintf("stat from F32x_Write is %x\n", status));
    return status;
}

}  // namespace

int eepromRead(BoardLink& link, Console& console, EepromBlock& block) {
    if (link.closedForDiskMode) return link.refuseClosed();
    BoardClaim claim(link, "the EEPROM read");
    if (!claim.ok()) return kStatusBusy;
    F32x& t = link.transport();
    Clock& clock = link.clock();

    t.FlushBuffers(link.cyHandle);  // status not reported
    std::fill_n(link.rBuffer.begin(), kEepromBlockSize, 0);
    writeEepromFrame(link, console, kEepromReadFrame, 0, 0);

    // Poll for the answer without pausing. A fast transport can run through the poll budget
    // before a board could answer, so the give-up also waits for a minimum time.
    const double start = clock.now();
    for (int polls = 0;; ++polls) {
        std::uint32_t bytes = 0, state = 0;
        t.CheckRXQueue(link.cyHandle, &bytes, &state);  // status ignored
        if (state & kRxReady) break;
        if (polls >= kEepromReadyPolls) {
            if (clock.now() - start >= kEepromMinimumWait) {
                console.print("EPROM READ error\n");
                clock.delay(kEepromGiveUpPause);
                console.hide();  // the error stays readable for the pause, then goes
                return kEepromNotReady;
            }
            clock.pollPause();
        }
    }

    std::uint32_t got = 0;
    const int status = t.Read(link.cyHandle, link.rBuffer.data(), kEepromBlockSize, &got);
    if (status != 0) {
        console.print(strprintf("stat from F32x_Read is %x\n", status));
        return status;
    }
    if (got < static_cast<std::uint32_t>(kEepromBlockSize)) {
        console.print(strprintf("EEPROM read returned %u of %d bytes\n", got, kEepromBlockSize));
        return kEepromShortRead;
    }
    std::copy_n(link.rBuffer.begin(), kEepromBlockSize, block.begin());
    return 0;
}

void fillEepromTable(std::vector<int>& table, const EepromBlock& block, int n) {
    if (table.size() < static_cast<std::size_t>(kEepromBlockSize))
        table.resize(kEepromBlockSize, 0);
    n = std::clamp(n, 0, kEepromBlockSize);
    std::fill_n(table.begin(), kEepromBlockSize, 0);
    for (int i = 0; i < n; ++i)
        table[static_cast<std::size_t>(i)] = block[static_cast<std::size_t>(i)];
}

int eepromWrite(BoardLink& link, Console& console, const std::vector<std::uint8_t>& bytes,
                const std::function<void(int done)>& between, int* written) {
    if (written) *written = 0;
    if (bytes.empty()) return 0;
    if (bytes.size() > static_cast<std::size_t>(kEepromMaxWriteCount)) return kF32xInvalidParameter;
    if (link.closedForDiskMode) return link.refuseClosed();
    BoardClaim claim(link, "the EEPROM write");
    if (!claim.ok()) return kStatusBusy;
    int first = link.transport().FlushBuffers(link.cyHandle);
    if (first != 0) console.print(strprintf("stat from F32x_FlushBuffers is %x\n", first));
    // Every byte is tried even after a failure; the first failure is the result.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int s = writeEepromFrame(link, console, kEepromWriteFrame,
                                       static_cast<std::uint8_t>(i), bytes[i]);
        if (s == 0 && written) ++*written;
        if (s != 0 && first == 0) first = s;
        link.clock().delay(kEepromByteInterval);
        if (between) between(static_cast<int>(i + 1));
    }
    return first;
}

std::string eepromWriteFailure(int status, int written, std::size_t count) {
    if (written >= 0 && static_cast<std::size_t>(written) == count)
        return strprintf(
            "EEPROM write: flushing the board's buffers failed (status %d) before "
            "the write; all %zu bytes were then written.",
            status, count);
    return strprintf("EEPROM write failed: %d of %zu bytes written.", written, count);
}

bool checkEepromReadCount(Messages& messages, int n) {
    if (n >= 0 && n <= kEepromBlockSize) return true;
    messages.show("Error", strprintf("At most %d bytes can be read: enter a count from 0 to %d.",
                                     kEepromBlockSize, kEepromBlockSize));
    return false;
}

bool checkEepromWriteCount(Messages& messages, int n) {
    if (n >= 0 && n <= kEepromMaxWriteCount) return true;
    messages.show("Error", strprintf("At most %d bytes (addresses 0 to 254) can be written: "
                                     "enter a count from 0 to %d.",
                                     kEepromMaxWriteCount, kEepromMaxWriteCount));
    return false;
}

bool checkEepromBytes(Messages& messages, const std::vector<int>& table, int n) {
    for (int i = 0; i < n; ++i) {
        const int v = i < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(i)] : 0;
        if (v < 0 || v > 255) {
            messages.show("Error",
                          strprintf("Row %d holds %d, which is not a byte (0 to 255).", i + 1, v));
            return false;
        }
    }
    return true;
}

}  // namespace evkit::diagnostics
