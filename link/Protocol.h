#pragma once

#include "update/Bootloader.h"

#include <cstdint>

namespace tarvane {

// Frame control bytes.
inline constexpr std::uint8_t SOH = 0x01;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t DLE = 0x10;

// Records in one program batch, at most.
inline constexpr int kBatchRecords = 11;

} // namespace tarvane
