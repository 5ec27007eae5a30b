#pragma once
// File choice seam: the GUI shows Qt file dialogs, tests script the answers.
#include <deque>
#include <optional>
#include <string>

namespace evkit {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // nullopt when the user cancelled. `pattern` is a filter such as "*.dat".
    virtual std::optional<std::string> openFile(const std::string& title,
                                                const std::string& pattern) = 0;
    virtual std::optional<std::string> saveFile(const std::string& title,
                                                const std::string& pattern,
                                                const std::string& suggestedName) = 0;
};

// Answers from a queue (empty queue or a nullopt entry = cancel); remembers what was asked.
class ScriptedFileDialogs : public FileDialogs {
public:
    std::optional<std::string> openFile(const std::string& title,
                                        const std::string& pattern) override {
        return next(title, pattern);
    }
    std::optional<std::string> saveFile(const std::string& title, const std::string& pattern,
                                        const std::string&) override {
        return next(title, pattern);
    }
    std::deque<std::optional<std::string>> answers;
    std::string lastTitle, lastPattern;

private:
    std::optional<std::string> next(const std::string& title, const std::string& pattern) {
        lastTitle = title;
        lastPattern = pattern;
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace evkit
