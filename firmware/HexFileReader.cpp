#include "firmware/HexFileReader.h"

#include "firmware/HexDigits.h"
#include "firmware/HexRecord.h"

#include <algorithm>

namespace tarvane {
namespace {

// The longest line a read looks at, whatever limit it is given.
constexpr std::size_t kLineHold = 1000;

// Counts lines, not reads: a long record line is one line of progress.
std::uint32_t countLines(std::string_view text) {
    const auto lines = static_cast<std::uint32_t>(std::count(text.begin(), text.end(), '\n'));
    return !text.empty() && text.back() != '\n' ? lines + 1 : lines; // a last line without its newline
}

} // namespace

bool HexFileReader::open(std::shared_ptr<const std::string> bytes) {
    close();
    if (!bytes) return false;
    bytes_ = std::move(bytes);
    text_ = std::string_view(*bytes_);
    text_ = text_.substr(0, text_.find(kEndOfTextMark));
    position_ = text_.size();
    linesConsumed_.store(0, std::memory_order_relaxed);
    linesTotal_.store(countLines(text_), std::memory_order_relaxed);
    return true;
}

std::uint16_t HexFileReader::readRecord(std::uint8_t* destination, std::size_t maxChars) {
    if (!bytes_ || maxChars < 2 || position_ >= text_.size()) return 0;
    maxChars = std::min(maxChars, kLineHold);
    const std::size_t end = std::min(text_.find('\n', position_), text_.size());
    // Only what one read of the limit would take; the rest of the line goes with it.
    const std::string_view line = text_.substr(position_, std::min(end - position_, maxChars - 1));
    position_ = end + 1;
    if (line.empty() || line[0] != ':') return 0;

    const std::size_t capacity = destinationSize(maxChars);
    std::size_t count = 0;
    // Blanks after the last digit end the record like the line end does.
    const auto ends = [](char c) { return c == '\0' || c == '\r' || c == ' ' || c == '\t'; };
    for (std::size_t at = 1; count < capacity && at + 1 < line.size(); at += 2) {
        const char first = line[at];
        const char second = line[at + 1];
        if (ends(first) || ends(second)) break;
        // A pair that is not two digits gives 0; the check refuses such files.
        const std::uint8_t hi = hexValue(first);
        const std::uint8_t lo = hexValue(second);
        destination[count++] = (hi | lo) > 0x0F ? 0 : static_cast<std::uint8_t>(hi << 4 | lo);
    }
    linesConsumed_.store(linesConsumed_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return static_cast<std::uint16_t>(count);
}

void HexFileReader::close() {
    bytes_.reset();
    text_ = {};
    position_ = 0;
}

} // namespace tarvane
