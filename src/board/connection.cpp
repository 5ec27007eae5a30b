#include "board/connection.h"

namespace evkit {

namespace {
// The connection message, followed by the transport's explanation when it has one.
std::string withDetail(const char* text, const F32x& usb) {
    const std::string detail = usb.errorDetail();
    return detail.empty() ? std::string(text) : std::string(text) + "\n" + detail;
}
}  // namespace

int open_board(BoardLink& link, std::string* deviceString) {
    F32x& usb = link.transport();
    std::uint32_t count = 0;
    int status = usb.GetNumDevices(&count);
    if (status == 0 && count == 0) status = kF32xDeviceNotFound;
    if (status != 0) {
        link.messages().show(msg::kErrorTitle, withDetail(msg::kNoBoard, usb));
        return status;
    }
    std::string product;
    status = usb.GetProductString(count - 1, &product);
    if (status != 0) {
        link.messages().show(msg::kErrorTitle, withDetail(msg::kNoProductString, usb));
        return status;
    }
    if (deviceString) *deviceString = product.substr(0, 255);
    F32xHandle handle = 0;
    status = usb.Open(count - 1, &handle);
    if (status != 0) {
        link.messages().show(msg::kErrorTitle, withDetail(msg::kCannotOpen, usb));
        return status;
    }
    link.cyHandle = handle;
    usb.SetTimeouts(987, 876);  // status ignored
    return 0;
}

std::array<std::string, 3> query_board_id(BoardLink& link, int* status) {
    std::int32_t word = 0;
    const int s = link.Fun_USB(245, 0, 0, 0, 24, &word);
    if (status) *status = s;
    if (s != 0) word = 0;
    const char bytes[4] = {static_cast<char>(word & 0xFF), static_cast<char>((word >> 8) & 0xFF),
                           static_cast<char>((word >> 16) & 0xFF), 0};
    return {std::string(bytes + 0), std::string(bytes + 1), std::string(bytes + 2)};
}

DeviceIdentity autodetect_device(BoardLink& link) {
    BoardSequence sequence(link);  // a lost board is said once
    Messages& messages = link.messages();
    DeviceIdentity id;
    // A failed read identifies nothing: its placeholder word 0 would otherwise read as a
    // real identification (register 5:11 = 0 is the PM7017 Rev C1).
    const auto failed = [&id](int s) {
        if (s != 0 && id.status == 0) id.status = s;
        return s != 0;
    };
    const auto unrecognized = [&] {
        messages.show(msg::kNoteTitle, msg::kNotRecognized);
        return id;
    };
    std::int32_t status = 0;
    if (failed(link.readRegister(0, 15, &status))) return unrecognized();
    if (status & 0x300) {
        id.chip = 10;
        id.name = "PM7010A";
        messages.show(msg::kDeviceDetectedTitle, "Connected to PM7010A");
        return id;
    }
    std::int32_t word = 0;
    if (failed(link.readRegister(65, 0, &word, 32))) return unrecognized();
    const auto detected = [&](int chip, const char* label, const char* text,
                              const char* name = nullptr) {
        id.chip = chip;
        id.name = name ? name : (label ? label : chipName(chip));
        id.label = label ? label : "";
        if (text) messages.show(msg::kDeviceDetectedTitle, text);
    };
    switch (static_cast<std::uint32_t>(word)) {
        case 0x01700100:
            detected(12, nullptr,
                     "Connected to PM7011/12. Please note that this software does not support "
                     "PM7011/12 functionality. Please contact factory.",
                     "PM7011/12");
            break;
        case 0x01070000: detected(11, "PM7011A Rev A", nullptr); break;
        case 0x50D70300: detected(11, nullptr, "Connected to PM7011A Rev B", "PM7011A Rev B"); break;
        case 0x01070C00: detected(13, nullptr, "Connected to PM7013 Rev A", "PM7013 Rev A"); break;
        case 0x50D70400: detected(13, nullptr, "Connected to PM7013 Rev B", "PM7013 Rev B"); break;
        case 0x50D70330:
            detected(13, "PM7013 Rev C",
                     "Please note that this software does not support this device. Please "
                     "contact factory.");
            break;
        case 0x50D75E90: detected(14, "PM7014 Rev A", nullptr); break;
        case 0x50D765D0: detected(14, "PM7014 Rev B", nullptr); break;
        case 0x50D76050: detected(14, "PM7014 Rev C", nullptr); break;
        case 0x50D75BA0: {
            std::int32_t revision = 0;
            if (failed(link.readRegister(5, 11, &revision))) return unrecognized();
            if (revision == 0)
                detected(17, "PM7017 Rev C1", nullptr);
            else if (revision == 0x800)
                detected(14, "PM7014 Rev C1", nullptr);
            else
                messages.show(msg::kNoteTitle, msg::kNotRecognized);
            break;
        }
        default: messages.show(msg::kNoteTitle, msg::kNotRecognized); break;
    }
    return id;
}

std::string chipName(int chip) {
    switch (chip) {
        case 10: return "PM7010A";
        case 11: return "PM7011A";
        case 12: return "PM7011/12";
        case 13: return "PM7013";
        case 14: return "PM7014";
        case 17: return "PM7017";
        default: return "unknown";
    }
}

}  // namespace evkit
