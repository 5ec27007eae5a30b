#pragma once
// Splits a client's byte stream into messages: each ends at a newline that does not lie
// inside a definite-length block (#<n><length><bytes>). A message longer than the limit is
// dropped up to its newline and reported once as overlong.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace evkit::scpi {

inline constexpr std::size_t kMaxMessageBytes = 64 * 1024;

class MessageFramer {
  public:
    explicit MessageFramer(std::size_t limit = kMaxMessageBytes) : limit_(limit) {}

    struct Piece {
        std::string text;       // the message without its newline (and without a trailing CR)
        bool overlong = false;  // the message passed the limit and was dropped; text is empty
    };
    // Feeds bytes; complete messages are appended to `out`.
    void feed(std::string_view bytes, std::vector<Piece>& out);
    // Bytes held of the message not yet complete.
    std::size_t pending() const { return current_.size(); }

  private:
    enum class State { kText, kQuote, kHash, kLengthDigits, kBlockBytes };
    void reset();

    std::size_t limit_;
    std::string current_;
    bool dropping_ = false;
    std::size_t seen_ = 0;  // bytes of the current message, dropped ones included
    State state_ = State::kText;
    char quote_ = 0;
    int digitsLeft_ = 0;
    std::size_t blockLeft_ = 0;
};

}  // namespace evkit::scpi
