#pragma once
// The board link's messages while remote commands run: the messages of a command run for a
// client are kept for its error entry (-240 with the program's text); any other message goes
// on to the program's own messages (a box in the desktop program, stderr in the CLI).
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/messages.h"

namespace evkit::scpi {

class JobMessages : public Messages {
  public:
    explicit JobMessages(Messages* fallback = nullptr) : fallback_(fallback) {}
    void show(std::string_view title, std::string_view text) override;

    // From the thread that runs the command: start keeping its messages / take them.
    void begin();
    std::vector<std::string> end();

  private:
    Messages* fallback_;
    std::mutex mutex_;
    std::optional<std::thread::id> recording_;
    std::vector<std::string> kept_;
};

}  // namespace evkit::scpi
