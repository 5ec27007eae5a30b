#pragma once
// Standard-output console: low-level diagnostics (EEPROM exchanges) are printed here.
#include <string>
#include <string_view>

namespace evkit {

class Console {
public:
    virtual ~Console() = default;
    virtual void print(std::string_view text) = 0;
    // Takes the console window off the screen (where there is one).
    virtual void hide() {}
};

class StderrConsole : public Console {
public:
    void print(std::string_view text) override;
};

class RecordingConsole : public Console {
public:
    void print(std::string_view text) override { output.append(text); }
    void hide() override { ++hides; }
    std::string output;
    int hides = 0;
};

}  // namespace evkit
