#pragma once
// Decorator that logs every write as "> xx xx ..." and every successful read as "< xx ...".
#include <functional>
#include <string>

#include "board/transport.h"

namespace evkit {

class TracingTransport : public F32x {
public:
    using Sink = std::function<void(const std::string& line)>;
    TracingTransport(F32x& inner, Sink sink) : inner_(inner), sink_(std::move(sink)) {}

    int GetNumDevices(std::uint32_t* count) override { return inner_.GetNumDevices(count); }
    int GetProductString(std::uint32_t index, std::string* product) override {
        return inner_.GetProductString(index, product);
    }
    int Open(std::uint32_t index, F32xHandle* handle) override { return inner_.Open(index, handle); }
    int SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        return inner_.SetTimeouts(readMs, writeMs);
    }
    int Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override;
    int Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
             std::uint32_t* read) override;
    int CheckRXQueue(F32xHandle handle, std::uint32_t* bytes, std::uint32_t* state) override {
        return inner_.CheckRXQueue(handle, bytes, state);
    }
    int FlushBuffers(F32xHandle handle) override { return inner_.FlushBuffers(handle); }
    int Close(F32xHandle handle) override { return inner_.Close(handle); }
    std::string errorDetail() const override { return inner_.errorDetail(); }
    bool simulated() const override { return inner_.simulated(); }
    // The transport the frames go to.
    F32x& inner() const { return inner_; }

    // "> 7e 01 00 00 00 00" style line.
    static std::string formatBytes(char direction, const std::uint8_t* bytes, std::uint32_t count);

private:
    F32x& inner_;
    Sink sink_;
};

}  // namespace evkit
