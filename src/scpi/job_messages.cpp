#include "scpi/job_messages.h"

namespace evkit::scpi {

void JobMessages::show(std::string_view title, std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        if (recording_ && *recording_ == std::this_thread::get_id()) {
            kept_.emplace_back(text);
            return;
        }
    }
    if (fallback_) fallback_->show(title, text);
}

void JobMessages::begin() {
    std::lock_guard lock(mutex_);
    recording_ = std::this_thread::get_id();
    kept_.clear();
}

std::vector<std::string> JobMessages::end() {
    std::lock_guard lock(mutex_);
    recording_.reset();
    return std::move(kept_);
}

}  // namespace evkit::scpi
