#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvane {

// CRC-16 with polynomial 0x1021, initial value 0, no reflection, no final XOR:
// the check the bootloader computes over frames and over programmed flash.
// Passing a previous result as `crc` continues a running computation.
std::uint16_t crc16(const std::uint8_t* data, std::size_t length, std::uint16_t crc = 0);

// The same CRC four bits at a time from a 16-entry table; the reference that
// the byte-table form above is tested against.
std::uint16_t crc16Nibble(const std::uint8_t* data, std::size_t length, std::uint16_t crc = 0);

} // namespace tarvane
