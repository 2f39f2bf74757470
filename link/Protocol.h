#pragma once

#include <cstdint>

namespace tarvane {

// Bootloader command codes: the first byte of every request and of its answer.
inline constexpr std::uint8_t CMD_QUERY = 1;
inline constexpr std::uint8_t CMD_ERASE = 2;
inline constexpr std::uint8_t CMD_PROGRAM = 3;
inline constexpr std::uint8_t CMD_VERIFY = 4;
inline constexpr std::uint8_t CMD_START_APP = 5;

// Frame control bytes.
inline constexpr std::uint8_t SOH = 0x01;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t DLE = 0x10;

// The bootloader's USB identity.
inline constexpr std::uint16_t kBootloaderVendorId = 0x04D8;
inline constexpr std::uint16_t kBootloaderProductId = 0x003C;

// Records in one program batch, at most.
inline constexpr int kBatchRecords = 11;

} // namespace tarvane
