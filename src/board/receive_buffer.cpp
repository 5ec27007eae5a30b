#include "board/receive_buffer.h"

#include <algorithm>
#include <cstring>

#include "board/transport.h"

namespace evkit {

std::size_t ReceiveBuffer::append(const std::uint8_t* bytes, std::size_t count) {
    const std::size_t cap = ring_.size();
    const std::size_t fits = std::min(count, cap - size_);
    if (fits < count) overrun_ = true;
    std::size_t tail = (head_ + size_) % (cap ? cap : 1);
    std::size_t done = 0;
    while (done < fits) {
        const std::size_t chunk = std::min(fits - done, cap - tail);
        std::memcpy(ring_.data() + tail, bytes + done, chunk);
        done += chunk;
        tail = (tail + chunk) % cap;
    }
    size_ += fits;
    return fits;
}

std::size_t ReceiveBuffer::take(std::uint8_t* out, std::size_t count) {
    const std::size_t cap = ring_.size();
    const std::size_t n = std::min(count, size_);
    std::size_t done = 0;
    while (done < n) {
        const std::size_t chunk = std::min(n - done, cap - head_);
        std::memcpy(out + done, ring_.data() + head_, chunk);
        done += chunk;
        head_ = (head_ + chunk) % cap;
    }
    size_ -= n;
    if (size_ == 0) head_ = 0;
    return n;
}

void ReceiveBuffer::clear() {
    head_ = 0;
    size_ = 0;
    overrun_ = false;
}

std::uint32_t ReceiveBuffer::state() const {
    return (size_ > 0 ? kRxReady : 0) | (overrun_ ? kRxOverrun : 0);
}

}  // namespace evkit
