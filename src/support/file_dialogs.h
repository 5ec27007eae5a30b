#pragma once
// File choice seam: the GUI shows Qt file dialogs, tests script the answers.
#include <deque>
#include <functional>
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
    // The same choice without holding up the caller (a board operation running below it
    // goes on while the dialog is open): `done` runs once the user has answered. Here the
    // answer is asked for at once.
    using Answer = std::function<void(std::optional<std::string>)>;
    virtual void saveFileLater(const std::string& title, const std::string& pattern,
                               const std::string& suggestedName, Answer done) {
        done(saveFile(title, pattern, suggestedName));
    }
};

// Answers from a queue (empty queue or a nullopt entry = cancel); remembers what was asked.
// With holdLater set, a saveFileLater() question stays open until answerHeld().
class ScriptedFileDialogs : public FileDialogs {
public:
  void saveFileLater(const std::string& title, const std::string& pattern, const std::string&,
                     Answer done) override {
      if (!holdLater) {
          done(next(title, pattern));
          return;
      }
      lastTitle = title;
      lastPattern = pattern;
      if (onAsk) onAsk();
      held = std::move(done);
  }
  // Gives the held question its answer from the queue.
  void answerHeld() {
      Answer done = std::move(held);
      held = nullptr;
      std::optional<std::string> a;
      if (!answers.empty()) {
          a = answers.front();
          answers.pop_front();
      }
      if (onAnswer) onAnswer();
      if (done) done(a);
  }
  bool holdLater = false;
  Answer held;
  // Called when a dialog opens and when it is answered (at once unless held).
  std::function<void()> onAsk, onAnswer;
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
        if (onAsk) onAsk();
        if (onAnswer) onAnswer();
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace evkit
