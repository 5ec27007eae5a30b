#pragma once
// Standard-output console: low-level diagnostics (EEPROM exchanges) are printed here.
#include <string>
#include <string_view>

namespace evkit {

class Console {
public:
    virtual ~Console() = default;
    virtual void print(std::string_view text) = 0;
};

class StderrConsole : public Console {
public:
    void print(std::string_view text) override;
};

class RecordingConsole : public Console {
public:
    void print(std::string_view text) override { output.append(text); }
    std::string output;
};

}  // namespace evkit
