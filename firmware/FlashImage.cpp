#include "firmware/FlashImage.h"

#include "firmware/Crc16.h"
#include "firmware/HexFileReader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace tarvane {

FlashImage::FlashImage() : bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(kImageSize)) {}

VerifyRange loadImage(HexFileReader& reader, FlashImage& image) {
    std::memset(image.data(), FlashImage::kErased, FlashImage::size());
    reader.rewind();

    RecordAddressing addressing;
    ImageLayout layout(image);
    std::array<std::uint8_t, HexFileReader::destinationSize(HexFileReader::kLineLimit)> record{};

    for (;;) {
        const std::uint16_t count = reader.readRecord(record.data(), HexFileReader::kLineLimit);
        if (count == 0) break;
        if (count < kRecordData) continue; // too short to carry a type; the check refuses it
        const std::uint8_t length = record[kRecordLength];
        const std::uint8_t type = record[kRecordType];
        // Never trust the length byte beyond the bytes actually read.
        const std::size_t available = count - kRecordData;
        const std::uint8_t* data = record.data() + kRecordData;

        if (type != kTypeData) {
            addressing.apply(type, static_cast<std::uint8_t>(std::min<std::size_t>(length, available)), data);
            continue;
        }
        if (length > available) continue;
        const auto offset = static_cast<std::uint16_t>(record[kRecordOffsetHigh] << 8 | record[kRecordOffsetLow]);
        layout.lay(addressing.map(offset), data, length);
    }
    return layout.range();
}

void ImageLayout::lay(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
    const std::uint64_t end = std::uint64_t{address} + length;
    // Only records wholly inside the image are laid in; anything else
    // (boot and configuration areas above all) is neither stored nor verified.
    if (address < kImageBase || end > kImageEnd || length == 0) return;
    std::memcpy(image_.data() + (address - kImageBase), data, length);
    lowest_ = std::min(lowest_, address);
    highestEnd_ = std::max(highestEnd_, static_cast<std::uint32_t>(end));
}

VerifyRange ImageLayout::range() const {
    if (highestEnd_ == 0) return {};
    VerifyRange range;
    range.start = lowest_ & ~3u;
    range.length = ((highestEnd_ - range.start) + 3u) & ~3u;
    range.crc = crc16(image_.data() + (range.start - kImageBase), range.length);
    return range;
}

std::string hexNumber(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string rangeLines(const VerifyRange& range) {
    return "start: " + hexNumber(range.start, 8) + "\nlength: " + hexNumber(range.length, 8) + "\ncrc: " +
           hexNumber(range.crc, 4) + "\n";
}

} // namespace tarvane
