#pragma once

#include "firmware/Crc16.h"
#include "link/Protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

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
// frame in the same call are dropped, and later calls decode nothing until
// the frame is taken.
template <std::size_t Capacity, std::size_t Limit = Capacity>
class FrameDecoder {
public:
    static_assert(Limit <= Capacity && Limit > 2);

    // Forgets the frame being received, a pending escape and a frame not yet taken.
    void reset() {
        rxIndex_ = 0;
        escapePending_ = false;
        frameComplete_ = false;
    }

    void decodeBytes(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count && !frameComplete_; ++i) {
            const std::uint8_t c = bytes[i];
            if (rxIndex_ >= Limit) rxIndex_ = 0;
            if (escapePending_) {
                store(c);
                continue;
            }
            switch (c) {
            case SOH:
                rxIndex_ = 0;
                break;
            case EOT:
                if (rxIndex_ > 2) {
                    const auto n = static_cast<std::size_t>(rxIndex_ - 2);
                    const auto sent = static_cast<std::uint16_t>(rxBuffer_[n] | rxBuffer_[n + 1] << 8);
                    if (crc16(rxBuffer_.data(), n) == sent) frameComplete_ = true;
                }
                break;
            case DLE:
                escapePending_ = true;
                break;
            default:
                store(c);
                break;
            }
        }
    }

    // The complete frame's payload (command byte and data, without the CRC),
    // handed out once; empty while none is complete. It stays valid until the
    // next decodeBytes or reset. The bytes stay too: a frame whose SOH is lost
    // lands on them and fails its CRC.
    std::span<const std::uint8_t> take() {
        if (!frameComplete_) return {};
        frameComplete_ = false;
        return {rxBuffer_.data(), rxIndex_ - 2u};
    }

    // What the decoder holds, for the tests that hold it to the decoding rules.
    bool frameComplete() const { return frameComplete_; }
    bool escapePending() const { return escapePending_; }
    // The unescaped bytes of the frame being received, or of the one waiting, CRC included.
    std::span<const std::uint8_t> received() const { return {rxBuffer_.data(), rxIndex_}; }

private:
    void store(std::uint8_t c) {
        rxBuffer_[rxIndex_++] = c;
        escapePending_ = false;
    }

    std::array<std::uint8_t, Capacity> rxBuffer_{};
    std::uint16_t rxIndex_ = 0;
    bool escapePending_ = false;
    bool frameComplete_ = false;
};

} // namespace tarvane
