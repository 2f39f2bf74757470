#include "link/FrameCodec.h"

namespace tarvane {

std::size_t escapedLength(const std::uint8_t* data, std::size_t n) {
    std::size_t length = n;
    for (std::size_t i = 0; i < n; ++i) length += needsEscape(data[i]) ? 1u : 0u;
    return length;
}

std::size_t encodeFrame(std::uint8_t* payload, std::size_t n, std::uint8_t* out, std::size_t capacity) {
    const std::uint16_t crc = crc16(payload, n);
    payload[n] = static_cast<std::uint8_t>(crc & 0xFF);
    payload[n + 1] = static_cast<std::uint8_t>(crc >> 8);

    const std::size_t body = n + 2;
    if (escapedLength(payload, body) + 2 > capacity) return 0;
    std::size_t length = 0;
    out[length++] = SOH;
    for (std::size_t i = 0; i < body; ++i) {
        if (needsEscape(payload[i])) out[length++] = DLE;
        out[length++] = payload[i];
    }
    out[length++] = EOT;
    return length;
}

} // namespace tarvane
