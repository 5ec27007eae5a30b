#include "board/tracing_transport.h"

#include <cstdio>

namespace evkit {

std::string TracingTransport::formatBytes(char direction, const std::uint8_t* bytes,
                                          std::uint32_t count) {
    std::string line(1, direction);
    char hex[4];
    for (std::uint32_t i = 0; i < count; ++i) {
        std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
        line += hex;
    }
    return line;
}

int TracingTransport::Write(F32xHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                            std::uint32_t* written) {
    sink_(formatBytes('>', buffer, count));
    return inner_.Write(handle, buffer, count, written);
}

int TracingTransport::Read(F32xHandle handle, std::uint8_t* buffer, std::uint32_t count,
                           std::uint32_t* read) {
    std::uint32_t got = 0;
    const int status = inner_.Read(handle, buffer, count, &got);
    if (read) *read = got;
    if (status == 0)
        sink_(formatBytes('<', buffer, count));
    else
        sink_("< (read of " + std::to_string(count) + " bytes failed, status " +
              std::to_string(status) + ")");
    return status;
}

}  // namespace evkit
