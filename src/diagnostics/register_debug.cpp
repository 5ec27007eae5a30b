#include "diagnostics/register_debug.h"

#include <filesystem>

#include "support/file_writer.h"
#include "support/format.h"

namespace evkit::diagnostics {

int rawRead(BoardLink& link, int address, std::int32_t* word, int width) {
    std::int32_t got = 0;
    const int status = link.Fun_USB(kNoPageSelect | (2 * (address & 0x1F)), 0, 0, 0, width, &got);
    if (word) *word = status == 0 ? (width == 32 ? got : (got & 0xFFFFFF)) : 0;
    return status;
}

int rawWrite(BoardLink& link, int address, std::uint32_t word, int width) {
    return link.Fun_USB(kNoPageSelect | (0x40 + 2 * (address & 0x1F)), word & 0xFF,
                        (word >> 8) & 0xFF, (word >> 16) & 0xFF, width, nullptr);
}

int sendRawCommand(BoardLink& link, int command, int width) {
    // Commands with an answer need somewhere to put it (three words for the timed
    // measurement); it is not shown.
    std::int32_t discarded[3] = {0, 0, 0};
    return link.Fun_USB(command & 0xFF, 0, 0, 0, width, discarded);
}

bool checkAddress(Messages& messages, int address) {
    if (address >= 0 && address <= 31) return true;
    messages.show("Error", "The register address must be between 0 and 31.");
    return false;
}

bool checkBulkCount(Messages& messages, int count) {
    // A count of 0 takes no readings and writes the header-only dump.
    if (count >= 0 && count <= kMaxBulkCount) return true;
    messages.show("Error",
                  strprintf("The number of readings must be between 0 and %d.", kMaxBulkCount));
    return false;
}

bool writeRegisterDump(const std::string& path, int address,
                       const std::vector<std::uint32_t>& words, std::string* errorText) {
    std::string text = strprintf("Bulk data for register %i\n", address);
    text += "===========================\n\n";
    for (std::size_t i = 0; i < words.size(); ++i)
        text += strprintf("%i\t\t%x\n", static_cast<int>(i), words[i]);
    return writeFileAtomically(path, text, errorText);
}

BulkReadResult bulkRead(BoardLink& link, int address, int count, const std::string& dumpPath,
                        std::vector<std::uint32_t>& table, const BulkReadHooks& hooks) {
    BulkReadResult r;
    std::error_code ec;
    r.path = std::filesystem::absolute(dumpPath, ec).string();
    if (ec) r.path = dumpPath;
    if (!checkAddress(link.messages(), address) || !checkBulkCount(link.messages(), count)) {
        r.status = kF32xInvalidParameter;
        return r;
    }
    BoardClaim claim(link, "the bulk read");
    if (!claim.ok()) {
        r.status = kStatusBusy;
        return r;
    }
    table.clear();
    table.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            link.processEvents();
            if (link.pump().cancelRequested() || (hooks.stopRequested && hooks.stopRequested())) {
                r.stopped = true;
                break;
            }
        }
        std::int32_t word = 0;
        const int status = link.readRegister(0, address, &word);
        if (status != 0) {
            link.messages().show(msg::kErrorTitle, kBulkReadFailed);
            r.status = status;
            return r;
        }
        table.push_back(static_cast<std::uint32_t>(word) & 0xFFFFFF);
        r.readings = i + 1;
        if (hooks.progress) hooks.progress(r.readings, count);
    }
    std::string why;
    if (!writeRegisterDump(dumpPath, address, table, &why)) {
        link.messages().show(msg::kErrorTitle,
                             "Unable to write the register dump " + r.path + ": " + why);
        r.status = kStatusDumpFileError;
        return r;
    }
    r.written = true;
    return r;
}

}  // namespace evkit::diagnostics
