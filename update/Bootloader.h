#pragma once

#include <cstdint>

namespace tarvane {

// What an update knows of a board's bootloader: how it is found on the bus
// and the commands it answers.

// The bootloader's USB identity.
inline constexpr std::uint16_t kBootloaderVendorId = 0x04D8;
inline constexpr std::uint16_t kBootloaderProductId = 0x003C;

// Bootloader command codes: the first byte of every request and of its answer.
inline constexpr std::uint8_t CMD_QUERY = 1;
inline constexpr std::uint8_t CMD_ERASE = 2;
inline constexpr std::uint8_t CMD_PROGRAM = 3;
inline constexpr std::uint8_t CMD_VERIFY = 4;
inline constexpr std::uint8_t CMD_START_APP = 5;

} // namespace tarvane
