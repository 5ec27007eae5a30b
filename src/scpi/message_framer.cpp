#include "scpi/message_framer.h"

namespace evkit::scpi {

void MessageFramer::reset() {
    current_.clear();
    dropping_ = false;
    seen_ = 0;
    state_ = State::kText;
    quote_ = 0;
    digitsLeft_ = 0;
    blockLeft_ = 0;
}

void MessageFramer::feed(std::string_view bytes, std::vector<Piece>& out) {
    for (const char c : bytes) {
        bool terminates = false;
        switch (state_) {
            case State::kText:
                if (c == '\n')
                    terminates = true;
                else if (c == '"' || c == '\'') {
                    state_ = State::kQuote;
                    quote_ = c;
                } else if (c == '#')
                    state_ = State::kHash;
                break;
            case State::kQuote:
                // A newline ends the message even inside an unterminated string.
                if (c == '\n')
                    terminates = true;
                else if (c == quote_)
                    state_ = State::kText;
                break;
            case State::kHash:
                if (c >= '1' && c <= '9') {
                    digitsLeft_ = c - '0';
                    blockLeft_ = 0;
                    state_ = State::kLengthDigits;
                } else if (c == '\n')
                    terminates = true;
                else
                    state_ = State::kText;
                break;
            case State::kLengthDigits:
                if (c >= '0' && c <= '9') {
                    // Lengths beyond the message limit cannot be held anyway; cap the count.
                    if (blockLeft_ <= limit_)
                        blockLeft_ = blockLeft_ * 10 + static_cast<std::size_t>(c - '0');
                    if (--digitsLeft_ == 0)
                        state_ = blockLeft_ > 0 ? State::kBlockBytes : State::kText;
                } else if (c == '\n')
                    terminates = true;
                else
                    state_ = State::kText;
                break;
            case State::kBlockBytes:
                if (--blockLeft_ == 0) state_ = State::kText;
                break;
        }
        if (terminates) {
            if (dropping_) {
                out.push_back(Piece{{}, true});
            } else {
                if (!current_.empty() && current_.back() == '\r') current_.pop_back();
                out.push_back(Piece{std::move(current_), false});
            }
            reset();
            continue;
        }
        ++seen_;
        if (dropping_) continue;
        if (seen_ > limit_) {
            dropping_ = true;
            current_.clear();
            current_.shrink_to_fit();
            continue;
        }
        current_ += c;
    }
}

}  // namespace evkit::scpi
