#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvane {

// Byte layout of a raw record as the reader hands it out.
inline constexpr std::size_t kRecordLength = 0;
inline constexpr std::size_t kRecordOffsetHigh = 1;
inline constexpr std::size_t kRecordOffsetLow = 2;
inline constexpr std::size_t kRecordType = 3;
inline constexpr std::size_t kRecordData = 4;
// Length byte, two offset bytes, type and checksum around the data.
inline constexpr std::size_t kRecordOverhead = 5;
inline constexpr std::size_t kMaxRecordBytes = kRecordOverhead + 255;

// Ctrl-Z: older tools and editors end a file's text with it, and a text-mode
// read on Windows sees nothing after it. Where it stands, the file ends.
inline constexpr char kEndOfTextMark = '\x1A';

enum RecordType : std::uint8_t {
    kTypeData = 0x00,
    kTypeEndOfFile = 0x01,
    kTypeExtendedSegment = 0x02,
    kTypeStartSegment = 0x03,
    kTypeExtendedLinear = 0x04,
    kTypeStartLinear = 0x05,
};

// The board's program flash as the updater pictures it. File addresses are
// mapped by setting bit 31, so 0x1D000000 and 0x9D000000 are the same byte.
inline constexpr std::uint32_t kImageBase = 0x9D000000;
inline constexpr std::uint32_t kImageSize = 0x500000;
inline constexpr std::uint32_t kImageEnd = kImageBase + kImageSize;
// From here up lie boot and configuration areas that are never verified.
inline constexpr std::uint32_t kProgrammableEnd = 0x9FC00000;

// Tracks the extended-address records of a file the way the bootloader does.
struct RecordAddressing {
    std::uint32_t segmentBase = 0;
    std::uint32_t linearBase = 0;

    // Applies a non-data record; `data` points at its data bytes.
    void apply(std::uint8_t type, std::uint8_t length, const std::uint8_t* data) {
        const std::uint32_t value = length >= 2 ? static_cast<std::uint32_t>(data[0] << 8 | data[1]) : 0;
        switch (type) {
        case kTypeExtendedSegment:
            segmentBase = value * 16;
            linearBase = 0;
            break;
        case kTypeExtendedLinear:
            linearBase = value << 16;
            segmentBase = 0;
            break;
        default:
            segmentBase = 0;
            linearBase = 0;
            break;
        }
    }

    // The flash address of a data record at `offset`.
    std::uint32_t map(std::uint16_t offset) const {
        return (offset + segmentBase + linearBase) | 0x80000000u;
    }
};

} // namespace tarvane
