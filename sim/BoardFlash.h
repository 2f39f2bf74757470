#pragma once

#include "firmware/HexRecord.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvane {

// The board's program flash and the bootloader's reading of HEX records.
class BoardFlash {
public:
    static constexpr std::uint32_t kBase = 0x1D000000;
    static constexpr std::uint32_t kSize = 512 * 1024;

    // The cached and uncached views (top three address bits set) reach the
    // same physical flash.
    static constexpr std::uint32_t physical(std::uint32_t address) { return address & 0x1FFFFFFFu; }

    BoardFlash();

    void erase();
    // A new programming session starts without extended addresses.
    void resetAddressing() { addressing_ = {}; }

    // True when `n` bytes hold whole records back to back, each with a correct checksum.
    static bool recordsValid(const std::uint8_t* records, std::size_t n);

    // Programs records already checked by recordsValid. Types 00, 02 and 04
    // act; other types change nothing; data outside the flash is ignored.
    // Returns the flash words written, for the timing model.
    std::size_t program(const std::uint8_t* records, std::size_t n);

    // crc16 over [start, start + length); bytes outside the flash read as erased.
    std::uint16_t crc(std::uint32_t start, std::uint32_t length) const;

    // The byte at any address; 0xFF outside the flash.
    std::uint8_t byteAt(std::uint32_t address) const;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::size_t programData(std::uint32_t address, const std::uint8_t* data, std::size_t n);

    std::vector<std::uint8_t> bytes_;
    RecordAddressing addressing_;
};

} // namespace tarvane
