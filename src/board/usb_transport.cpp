#include "board/usb_transport.h"

namespace evkit {

// Real USB access is not available in this build yet: no board is ever listed, so the
// connection reports "no board" cleanly.
UsbTransport::UsbTransport() = default;
UsbTransport::~UsbTransport() = default;
int UsbTransport::GetNumDevices(std::uint32_t* count) {
    if (count) *count = 0;
    return kF32xOk;
}
int UsbTransport::GetProductString(std::uint32_t, std::string*) { return kF32xDeviceNotFound; }
int UsbTransport::Open(std::uint32_t, F32xHandle*) { return kF32xDeviceNotFound; }
int UsbTransport::SetTimeouts(std::uint32_t, std::uint32_t) { return kF32xOk; }
int UsbTransport::Write(F32xHandle, const std::uint8_t*, std::uint32_t, std::uint32_t*) {
    return kF32xInvalidHandle;
}
int UsbTransport::Read(F32xHandle, std::uint8_t*, std::uint32_t, std::uint32_t*) {
    return kF32xInvalidHandle;
}
int UsbTransport::CheckRXQueue(F32xHandle, std::uint32_t*, std::uint32_t*) {
    return kF32xInvalidHandle;
}
int UsbTransport::FlushBuffers(F32xHandle) { return kF32xInvalidHandle; }
int UsbTransport::Close(F32xHandle) { return kF32xInvalidHandle; }

}  // namespace evkit
