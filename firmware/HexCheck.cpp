#include "firmware/HexCheck.h"

#include "firmware/HexDigits.h"
#include "firmware/HexRecord.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace tarvane {
namespace {

std::string hexByte(unsigned v) {
    std::array<char, 8> buf{};
    std::snprintf(buf.data(), buf.size(), "0x%02X", v & 0xFFu);
    return buf.data();
}

std::string describeChar(char c, std::size_t column) {
    const auto u = static_cast<unsigned char>(c);
    std::string shown;
    if (c == ' ') shown = "a space";
    else if (c == '\t') shown = "a tab";
    else if (c == '\r') shown = "a carriage return";
    else if (u >= 0x21 && u < 0x7F) shown = std::string("'") + c + "'";
    else shown = "byte " + hexByte(u);
    return "column " + std::to_string(column) + ": " + shown + " is not a hexadecimal digit";
}

struct LineFault {
    std::string reason;
};

constexpr std::size_t kLineHoldLimit = kLongestCheckedLine;

// Checks one line that begins with ':'; fills `bytes` with the record.
// `cut` says the line went on past what `line` holds.
std::optional<LineFault> checkRecordLine(std::string_view line, bool cut,
                                         std::array<std::uint8_t, kMaxRecordBytes>& bytes, std::size_t& count) {
    const std::string_view digits = line.substr(1);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (hexValue(digits[i]) > 0x0F) return LineFault{describeChar(digits[i], i + 2)};
    }
    if (cut) return LineFault{"too long for a record (more than " + std::to_string(kLineHoldLimit) + " characters)"};
    if (digits.size() % 2 != 0) {
        return LineFault{"odd number of hexadecimal digits (" + std::to_string(digits.size()) + ")"};
    }
    count = digits.size() / 2;
    if (count < kRecordOverhead) {
        return LineFault{"too short for a record (" + std::to_string(count) + " bytes, at least 5 needed)"};
    }
    if (count > kMaxRecordBytes) {
        return LineFault{"too long for a record (" + std::to_string(count) + " bytes, at most 260)"};
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(hexValue(digits[2 * i]) << 4 | hexValue(digits[2 * i + 1]));
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    }
    const std::size_t length = bytes[kRecordLength];
    if (length != count - kRecordOverhead) {
        return LineFault{"length byte says " + std::to_string(length) + " data bytes, the line holds " +
                         std::to_string(count - kRecordOverhead)};
    }
    const std::uint8_t type = bytes[kRecordType];
    if (type > kTypeStartLinear) {
        return LineFault{"record type " + hexByte(type) + " is not one of 00 to 05"};
    }
    if ((type == kTypeExtendedSegment || type == kTypeExtendedLinear) && length != 2) {
        return LineFault{"an extended-address record (type " + hexByte(type) + ") must hold 2 data bytes, not " +
                         std::to_string(length)};
    }
    if (sum != 0) {
        const std::uint8_t stated = bytes[count - 1];
        const auto needed = static_cast<std::uint8_t>(stated - sum);
        return LineFault{"checksum is " + hexByte(stated) + ", the record needs " + hexByte(needed)};
    }
    return std::nullopt;
}

std::string hexAddress(std::uint32_t v) {
    std::array<char, 16> buf{};
    std::snprintf(buf.data(), buf.size(), "0x%08X", v);
    return buf.data();
}

// True for data above the image whose physical address (the top three bits
// cleared, as a board reads it) still falls on the program flash.
bool reachesFlashFromAnotherView(std::uint32_t address, std::uint64_t end) {
    constexpr std::uint32_t kPhysicalMask = 0x1FFFFFFF;
    if (address < kImageEnd) return false;
    const std::uint64_t physical = address & kPhysicalMask;
    return physical < (kImageEnd & kPhysicalMask) && physical + (end - address) > (kImageBase & kPhysicalMask);
}

HexCheckResult fault(std::uint32_t line, std::string reason) {
    HexCheckResult r;
    r.line = line;
    r.reason = std::move(reason);
    return r;
}

// Older tools end a file with white space after the end-of-file record; a
// reader stops at such a line, as at an empty one.
bool isTrailer(std::string_view line) {
    return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos;
}

// The text as a text-mode read sees it: up to the first Ctrl-Z.
std::string_view beforeEndMark(std::string_view text) {
    return text.substr(0, text.find(kEndOfTextMark));
}

constexpr const char* kNotARecord = "the line is not a record (it does not begin with ':')";

// Judges a text one line at a time, in order.
class LineChecker {
public:
    // Takes the next line without its '\n'; false once a fault is found.
    bool feed(std::string_view line, bool cut) {
        ++lineNumber_;
        if (!cut && !line.empty() && line.back() == '\r') line.remove_suffix(1);

        if (line.empty() || (sawEndOfFile_ && !cut && isTrailer(line))) {
            // Harmless at the end of a file; before a record it would end programming early.
            if (emptyLine_ == 0) emptyLine_ = lineNumber_;
            return true;
        }
        if (line[0] != ':') return fail(lineNumber_, kNotARecord);
        if (emptyLine_ != 0) return fail(emptyLine_, "an empty line stands before the last record");
        // Blanks after the last digit are no part of the record; readers ignore them.
        if (!cut) line = line.substr(0, line.find_last_not_of(" \t\r") + 1);

        std::size_t count = 0;
        if (auto f = checkRecordLine(line, cut, bytes_, count)) return fail(lineNumber_, std::move(f->reason));

        ++result_.records;
        const std::uint8_t length = bytes_[kRecordLength];
        const std::uint8_t type = bytes_[kRecordType];
        if (type != kTypeData) {
            if (type == kTypeEndOfFile) sawEndOfFile_ = true;
            const bool restates = type == kTypeExtendedSegment || type == kTypeExtendedLinear;
            const bool baseInForce = addressing_.segmentBase != 0 || addressing_.linearBase != 0;
            if (restates) baseInDoubt_ = false;
            else if (baseInForce) baseInDoubt_ = true;
            addressing_.apply(type, length, bytes_.data() + kRecordData);
            return true;
        }
        result_.dataBytes += length;
        if (length == 0) return true;
        if (baseInDoubt_) {
            // The image drops the extended address at such a record, a bootloader
            // may keep it: the data would be programmed where nothing verifies it.
            return fail(lineNumber_, "data after a start-address or end-of-file record needs a new "
                                     "extended-address record (type 02 or 04) first");
        }
        const auto offset = static_cast<std::uint16_t>(bytes_[kRecordOffsetHigh] << 8 | bytes_[kRecordOffsetLow]);
        const std::uint32_t address = addressing_.map(offset);
        const std::uint64_t recordEnd = std::uint64_t{address} + length;
        if (address >= kImageBase && address < kImageEnd) {
            if (recordEnd > kImageEnd) {
                return fail(lineNumber_, "the data runs past the end of the program flash (0x9D500000)");
            }
            layOut(address, length);
        } else if (address < kImageBase && recordEnd > kImageBase) {
            // Its bytes inside the flash would be programmed but left out of the verified image.
            return fail(lineNumber_, "the data starts below the program flash (0x9D000000) and runs into it");
        } else if (reachesFlashFromAnotherView(address, recordEnd)) {
            // A board strips the view bits and programs it; the image leaves it out.
            return fail(lineNumber_, "the data lies at " + hexAddress(address) +
                                         ", another view of the program flash that is never verified "
                                         "(place it at 0x1D000000 to 0x1D4FFFFF)");
        }
        return true;
    }

    // The text ended at a Ctrl-Z; `before` is what its line holds ahead of
    // it, already fed when not empty. Ahead of the end-of-file record the mark
    // cuts the file short: its line is refused for the mark, at its column.
    void endMark(std::string_view before) {
        if (failed_ || sawEndOfFile_) return;
        if (before.empty()) ++lineNumber_;
        if (before.empty() || before[0] != ':') fail(lineNumber_, kNotARecord);
        else fail(lineNumber_, describeChar(kEndOfTextMark, before.size() + 1));
    }

    HexCheckResult finish() {
        if (failed_) return std::move(result_);
        if (lineNumber_ == 0) return fault(0, "the file is empty");
        if (!sawEndOfFile_) {
            return fault(0, "the file has no end-of-file record (type 01); it may have been cut short");
        }
        if (!layout_) {
            return fault(0, "no data record lies in the program flash (0x9D000000 to 0x9D4FFFFF)");
        }
        result_.ok = true;
        result_.range = layout_->range();
        return std::move(result_);
    }

private:
    // The record's data into the image, which the first such record brings
    // about: a file refused early costs no image.
    void layOut(std::uint32_t address, std::uint8_t length) {
        if (!layout_) {
            image_ = std::make_unique<FlashImage>();
            std::memset(image_->data(), FlashImage::kErased, FlashImage::size());
            layout_.emplace(*image_);
        }
        layout_->lay(address, bytes_.data() + kRecordData, length);
    }

    bool fail(std::uint32_t line, std::string reason) {
        result_ = fault(line, std::move(reason));
        failed_ = true;
        return false;
    }

    HexCheckResult result_;
    RecordAddressing addressing_;
    std::array<std::uint8_t, kMaxRecordBytes> bytes_{};
    // The data in the program flash, laid out as the board is asked to verify it.
    std::unique_ptr<FlashImage> image_;
    std::optional<ImageLayout> layout_;
    bool sawEndOfFile_ = false;
    bool failed_ = false;
    // A record of type 01, 03 or 05 cleared a base that the board may still apply.
    bool baseInDoubt_ = false;
    std::uint32_t emptyLine_ = 0;
    std::uint32_t lineNumber_ = 0;
};

// Feeds a line, holding no more of it than a record can need.
bool feedBounded(LineChecker& checker, std::string_view line) {
    const bool cut = line.size() > kLineHoldLimit;
    return checker.feed(cut ? line.substr(0, kLineHoldLimit) : line, cut);
}

// The text as a text-mode read sees it ends at a Ctrl-Z, here after `before`.
void feedEndMark(LineChecker& checker, std::string_view before) {
    if (!before.empty() && !feedBounded(checker, before)) return;
    checker.endMark(before);
}

} // namespace

std::string HexCheckResult::describe() const {
    if (line == 0) return reason;
    return "line " + std::to_string(line) + ": " + reason;
}

HexCheckResult checkHexText(std::string_view text) {
    const bool marked = text.find(kEndOfTextMark) != std::string_view::npos;
    text = beforeEndMark(text);
    LineChecker checker;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            if (marked) break;
            end = text.size();
        }
        if (!feedBounded(checker, text.substr(pos, end - pos))) return checker.finish();
        pos = end + 1;
    }
    if (marked) feedEndMark(checker, text.substr(pos));
    return checker.finish();
}

} // namespace tarvane
