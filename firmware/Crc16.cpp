#include "firmware/Crc16.h"

#include <array>

namespace tarvane {
namespace {

constexpr std::uint16_t kPoly = 0x1021;

// Entry i is i x 0x1021 (carry-less): 0x0000, 0x1021, 0x2042, ... 0xF1EF.
constexpr std::array<std::uint16_t, 16> kNibbleTable = [] {
    std::array<std::uint16_t, 16> t{};
    for (unsigned i = 0; i < 16; ++i) {
        std::uint16_t v = 0;
        for (unsigned bit = 0; bit < 4; ++bit) {
            if (i & (1u << bit)) v = static_cast<std::uint16_t>(v ^ (kPoly << bit));
        }
        t[i] = v;
    }
    return t;
}();

constexpr std::array<std::uint16_t, 256> kByteTable = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPoly : crc << 1);
        }
        t[i] = crc;
    }
    return t;
}();

static_assert(kNibbleTable[1] == 0x1021 && kNibbleTable[2] == 0x2042 && kNibbleTable[15] == 0xF1EF);

} // namespace

std::uint16_t crc16(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kByteTable[((crc >> 8) ^ data[i]) & 0xFF]);
    }
    return crc;
}

std::uint16_t crc16Nibble(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc << 4) ^ kNibbleTable[((crc >> 12) ^ (data[i] >> 4)) & 0x0F]);
        crc = static_cast<std::uint16_t>((crc << 4) ^ kNibbleTable[((crc >> 12) ^ (data[i] & 0x0F)) & 0x0F]);
    }
    return crc;
}

} // namespace tarvane
