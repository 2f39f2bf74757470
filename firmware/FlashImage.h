#pragma once

#include "firmware/HexRecord.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

class HexFileReader;

// The range the bootloader is asked to check, and the CRC it must answer.
struct VerifyRange {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint16_t crc = 0;

    bool empty() const { return length == 0; }
    friend bool operator==(const VerifyRange&, const VerifyRange&) = default;
};

// "0x" and `digits` upper-case hex digits: how a range's numbers are shown.
std::string hexNumber(std::uint32_t value, int digits);
// "start: ...", "length: ...", "crc: ..." lines, each ended by '\n'.
std::string rangeLines(const VerifyRange& range);

// An erased-flash picture of the board's program memory: byte i stands for
// flash address kImageBase + i. Allocated once and rebuilt by every load.
class FlashImage {
public:
    static constexpr std::uint32_t kErased = 0xFF;

    FlashImage();

    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    static constexpr std::uint32_t size() { return kImageSize; }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
};

// Lays data records into an image erased beforehand and keeps the range they
// span: from the lowest data address (rounded down to 4) to the highest end
// (rounded up to 4). Records outside the image are left out and do not widen
// the range; without data in the image the range is empty.
class ImageLayout {
public:
    explicit ImageLayout(FlashImage& image) : image_(image) {}

    // The data of a record at flash `address`.
    void lay(std::uint32_t address, const std::uint8_t* data, std::size_t length);
    VerifyRange range() const;

private:
    FlashImage& image_;
    std::uint32_t lowest_ = 0xFFFFFFFF;
    std::uint32_t highestEnd_ = 0;
};

// Erases the image, lays every data record of the reader's text into it and
// returns their range (see ImageLayout). Rewinds the reader and advances its
// linesConsumed like any read.
VerifyRange loadImage(HexFileReader& reader, FlashImage& image);

} // namespace tarvane
