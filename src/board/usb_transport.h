#pragma once
// Transport to real boards over USB.
#include "board/transport.h"

namespace evkit {

class UsbTransport : public F32x {
public:
    UsbTransport();
    ~UsbTransport() override;
    int GetNumDevices(std::uint32_t* count) override;
    int GetProductString(std::uint32_t index, std::string* product) override;
    int Open(std::uint32_t index, F32xHandle* handle) override;
    int SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
    int Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override;
    int Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
             std::uint32_t* read) override;
    int CheckRXQueue(F32xHandle handle, std::uint32_t* bytes, std::uint32_t* state) override;
    int FlushBuffers(F32xHandle handle) override;
    int Close(F32xHandle handle) override;
};

}  // namespace evkit
