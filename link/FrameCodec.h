#pragma once

#include "firmware/Crc16.h"
#include "link/Protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvane {

inline constexpr bool needsEscape(std::uint8_t b) { return b == SOH || b == EOT || b == DLE; }

// Bytes `data` takes on the wire once escaped.
std::size_t escapedLength(const std::uint8_t* data, std::size_t n);

// Appends the CRC of the n payload bytes at payload[n] and payload[n + 1]
// (the caller provides room for them) and writes the frame to `out`.
// Returns the frame's length, or 0 when it would not fit in `capacity`.
std::size_t encodeFrame(std::uint8_t* payload, std::size_t n, std::uint8_t* out, std::size_t capacity);

// Rebuilds frames from received bytes. `Limit` bytes without an end restart
// the buffer, so a lost EOT never runs past it. Bytes that follow a complete
// frame in the same call are dropped; the frame waits until it is taken.
template <std::size_t Capacity, std::size_t Limit = Capacity>
struct FrameDecoder {
    static_assert(Limit <= Capacity && Limit > 2);

    std::array<std::uint8_t, Capacity> rxBuffer{};
    std::uint16_t rxIndex = 0;
    bool escapePending = false;
    bool frameComplete = false;

    void reset() {
        rxIndex = 0;
        escapePending = false;
        frameComplete = false;
    }

    // The payload of a complete frame: command byte and data, without the CRC.
    const std::uint8_t* payload() const { return rxBuffer.data(); }
    std::size_t payloadLength() const { return rxIndex >= 2 ? rxIndex - 2u : 0u; }

    void decodeBytes(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count && !frameComplete; ++i) {
            const std::uint8_t c = bytes[i];
            if (rxIndex >= Limit) rxIndex = 0;
            if (escapePending) {
                store(c);
                continue;
            }
            switch (c) {
            case SOH:
                rxIndex = 0;
                break;
            case EOT:
                if (rxIndex > 2) {
                    const auto n = static_cast<std::size_t>(rxIndex - 2);
                    const auto sent = static_cast<std::uint16_t>(rxBuffer[n] | rxBuffer[n + 1] << 8);
                    if (crc16(rxBuffer.data(), n) == sent) frameComplete = true;
                }
                break;
            case DLE:
                escapePending = true;
                break;
            default:
                store(c);
                break;
            }
        }
    }

private:
    void store(std::uint8_t c) {
        rxBuffer[rxIndex++] = c;
        escapePending = false;
    }
};

} // namespace tarvane
