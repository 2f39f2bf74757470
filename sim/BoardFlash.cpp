#include "sim/BoardFlash.h"

#include "firmware/Crc16.h"

#include <algorithm>
#include <array>

namespace tarvane {

namespace {

constexpr std::uint64_t kFlashEnd = std::uint64_t{BoardFlash::kBase} + BoardFlash::kSize;
// Each alias of the physical address space repeats every 512 MiB.
constexpr std::uint64_t kAliasSpan = 0x20000000;

bool inFlash(std::uint64_t physicalAddress) { return physicalAddress >= BoardFlash::kBase && physicalAddress < kFlashEnd; }

} // namespace

BoardFlash::BoardFlash() : bytes_(kSize, 0xFF) {}

void BoardFlash::erase() {
    std::fill(bytes_.begin(), bytes_.end(), std::uint8_t{0xFF});
}

bool BoardFlash::recordsValid(const std::uint8_t* records, std::size_t n) {
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t size = std::size_t{records[pos + kRecordLength]} + kRecordOverhead;
        if (size > n - pos) return false;
        unsigned sum = 0;
        for (std::size_t i = 0; i < size; ++i) sum += records[pos + i];
        if ((sum & 0xFFu) != 0) return false;
        pos += size;
    }
    return true;
}

std::size_t BoardFlash::program(const std::uint8_t* records, std::size_t n) {
    std::size_t words = 0;
    std::size_t pos = 0;
    while (pos + kRecordOverhead <= n) {
        const std::uint8_t* r = records + pos;
        const std::uint8_t length = r[kRecordLength];
        const std::uint8_t type = r[kRecordType];
        if (type == kTypeData) {
            const auto offset = static_cast<std::uint16_t>(r[kRecordOffsetHigh] << 8 | r[kRecordOffsetLow]);
            words += programData(addressing_.map(offset), r + kRecordData, length);
        } else if (type == kTypeExtendedSegment || type == kTypeExtendedLinear) {
            addressing_.apply(type, length, r + kRecordData);
        }
        pos += std::size_t{length} + kRecordOverhead;
    }
    return words;
}

std::size_t BoardFlash::programData(std::uint32_t address, const std::uint8_t* data, std::size_t n) {
    const std::uint64_t first = std::max<std::uint64_t>(physical(address), kBase);
    const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{physical(address)} + n, kFlashEnd);
    if (first >= end) return 0;
    // Flash cells only go from 1 to 0: programming over data that was not
    // erased leaves the AND of both, as on the real part.
    for (std::uint64_t p = first; p < end; ++p) bytes_[p - kBase] &= data[p - physical(address)];
    return static_cast<std::size_t>((end - 1) / 4 - first / 4 + 1);
}

std::uint16_t BoardFlash::crc(std::uint32_t start, std::uint32_t length) const {
    static const std::array<std::uint8_t, 4096> erased = [] {
        std::array<std::uint8_t, 4096> a{};
        a.fill(0xFF);
        return a;
    }();

    std::uint16_t value = 0;
    std::uint64_t a = start;
    const std::uint64_t end = a + length;
    while (a < end) {
        const std::uint64_t left = end - a;
        // Past the 32-bit address space nothing is flash.
        const std::uint64_t p = a <= 0xFFFFFFFFu ? physical(static_cast<std::uint32_t>(a)) : kFlashEnd;
        if (a <= 0xFFFFFFFFu && inFlash(p)) {
            const std::uint64_t run = std::min(left, kFlashEnd - p);
            value = crc16(bytes_.data() + (p - kBase), static_cast<std::size_t>(run), value);
            a += run;
            continue;
        }
        std::uint64_t toFlash = left;
        if (a <= 0xFFFFFFFFu) toFlash = p < kBase ? kBase - p : kAliasSpan - p + kBase;
        const std::uint64_t run = std::min({left, toFlash, std::uint64_t{erased.size()}});
        value = crc16(erased.data(), static_cast<std::size_t>(run), value);
        a += run;
    }
    return value;
}

std::uint8_t BoardFlash::byteAt(std::uint32_t address) const {
    const std::uint32_t p = physical(address);
    return inFlash(p) ? bytes_[p - kBase] : std::uint8_t{0xFF};
}

} // namespace tarvane
