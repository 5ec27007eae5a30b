#pragma once
// Message boxes: every user-facing message of the program goes through this seam.
// The GUI shows a modal box, the CLI prints one line on stderr, tests record.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace evkit {

class Messages {
public:
    virtual ~Messages() = default;
    virtual void show(std::string_view title, std::string_view text) = 0;
};

// Keeps every message shown, in order; used by tests and by batch tools.
class RecordingMessages : public Messages {
public:
    void show(std::string_view title, std::string_view text) override {
        shown.emplace_back(std::string(title), std::string(text));
    }
    bool contains(std::string_view text) const {
        for (const auto& m : shown)
            if (m.second == text) return true;
        return false;
    }
    std::vector<std::pair<std::string, std::string>> shown;
};

// One line per message on stderr: "Title: text" (or just the text when untitled).
class StderrMessages : public Messages {
public:
    void show(std::string_view title, std::string_view text) override;
};

}  // namespace evkit
