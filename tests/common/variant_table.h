#pragma once
// What identification gives for each of the 13 variants the virtual board plays: the device
// code, the device label (nullptr: left as it was) and the message box (nullptr: none).
namespace evkit::test {

struct VariantExpectation {
    const char* variant;
    int chip;
    const char* label;
    const char* title;
    const char* text;
};

inline constexpr VariantExpectation kEveryVariant[] = {
    {"PM7010A", 10, nullptr, "Device Detected", "Connected to PM7010A"},
    {"PM7011A-A", 11, "PM7011A Rev A", nullptr, nullptr},
    {"PM7011A-B", 11, nullptr, "Device Detected", "Connected to PM7011A Rev B"},
    {"PM7011-12", 12, nullptr, "Device Detected",
     "Connected to PM7011/12. Please note that this software does not support PM7011/12 "
     "functionality. Please contact factory."},
    {"PM7013-A", 13, nullptr, "Device Detected", "Connected to PM7013 Rev A"},
    {"PM7013-B", 13, nullptr, "Device Detected", "Connected to PM7013 Rev B"},
    {"PM7013-C", 13, "PM7013 Rev C", "Device Detected",
     "Please note that this software does not support this device. Please contact factory."},
    {"PM7014-A", 14, "PM7014 Rev A", nullptr, nullptr},
    {"PM7014-B", 14, "PM7014 Rev B", nullptr, nullptr},
    {"PM7014-C", 14, "PM7014 Rev C", nullptr, nullptr},
    {"PM7014-C1", 14, "PM7014 Rev C1", nullptr, nullptr},
    {"PM7017-C1", 17, "PM7017 Rev C1", nullptr, nullptr},
    {"UNKNOWN", 0, nullptr, "Note", "The device is not recognized."},
};

}  // namespace evkit::test
