#pragma once
// Host-side receive buffer of a USB board: bulk IN transfers append what the board sent;
// reads take it out in order. When the buffer is full the bytes that do not fit are dropped
// and the overrun state is raised until the next clear (a flush). Not locked: its owner is.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace evkit {

class ReceiveBuffer {
  public:
    static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 20;

    explicit ReceiveBuffer(std::size_t capacity = kDefaultCapacity) : ring_(capacity) {}

    // Appends `count` bytes; returns how many fitted (the rest is dropped, overrun raised).
    std::size_t append(const std::uint8_t* bytes, std::size_t count);
    // Takes up to `count` bytes into `out`; returns how many were taken.
    std::size_t take(std::uint8_t* out, std::size_t count);
    // Data was lost before it reached the buffer.
    void markOverrun() { overrun_ = true; }
    // Discards everything and lowers the overrun state.
    void clear();

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return ring_.size(); }
    bool overrun() const { return overrun_; }
    // Receive-queue state bits: 2 when bytes are waiting, 1 after an overrun.
    std::uint32_t state() const;

  private:
    std::vector<std::uint8_t> ring_;
    std::size_t head_ = 0;  // index of the oldest byte
    std::size_t size_ = 0;
    bool overrun_ = false;
};

}  // namespace evkit
