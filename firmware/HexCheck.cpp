#include "firmware/HexCheck.h"

#include "firmware/FileOpen.h"
#include "firmware/HexDigits.h"
#include "firmware/HexRecord.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

// Checks one line that begins with ':'; fills `bytes` with the record.
std::optional<LineFault> checkRecordLine(std::string_view line, std::array<std::uint8_t, kMaxRecordBytes>& bytes,
                                         std::size_t& count) {
    const std::string_view digits = line.substr(1);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (hexValue(digits[i]) > 0x0F) return LineFault{describeChar(digits[i], i + 2)};
    }
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

HexCheckResult fault(std::uint32_t line, std::string reason) {
    HexCheckResult r;
    r.line = line;
    r.reason = std::move(reason);
    return r;
}

} // namespace

std::string HexCheckResult::describe() const {
    if (line == 0) return reason;
    return "line " + std::to_string(line) + ": " + reason;
}

HexCheckResult checkHexText(std::string_view text) {
    if (text.empty()) return fault(0, "the file is empty");

    HexCheckResult result;
    RecordAddressing addressing;
    std::array<std::uint8_t, kMaxRecordBytes> bytes{};
    bool sawEndOfFile = false;
    bool sawImageData = false;
    std::uint32_t emptyLine = 0;

    std::uint32_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        if (line.empty()) {
            // Harmless at the end of a file; before a record it would end programming early.
            if (emptyLine == 0) emptyLine = lineNumber;
            continue;
        }
        if (line[0] != ':') return fault(lineNumber, "the line is not a record (it does not begin with ':')");
        if (emptyLine != 0) return fault(emptyLine, "an empty line stands before the last record");

        std::size_t count = 0;
        if (auto f = checkRecordLine(line, bytes, count)) return fault(lineNumber, std::move(f->reason));

        ++result.records;
        const std::uint8_t length = bytes[kRecordLength];
        const std::uint8_t type = bytes[kRecordType];
        if (type != kTypeData) {
            if (type == kTypeEndOfFile) sawEndOfFile = true;
            addressing.apply(type, length, bytes.data() + kRecordData);
            continue;
        }
        result.dataBytes += length;
        if (length == 0) continue;
        const auto offset = static_cast<std::uint16_t>(bytes[kRecordOffsetHigh] << 8 | bytes[kRecordOffsetLow]);
        const std::uint32_t address = addressing.map(offset);
        const std::uint64_t recordEnd = std::uint64_t{address} + length;
        if (address >= kImageBase && address < kImageEnd) {
            if (recordEnd > kImageEnd) {
                return fault(lineNumber, "the data runs past the end of the program flash (0x9D500000)");
            }
            sawImageData = true;
        } else if (address < kImageBase && recordEnd > kImageBase) {
            // Its bytes inside the flash would be programmed but left out of the verified image.
            return fault(lineNumber, "the data starts below the program flash (0x9D000000) and runs into it");
        }
    }

    if (!sawEndOfFile) {
        return fault(0, "the file has no end-of-file record (type 01); it may have been cut short");
    }
    if (!sawImageData) {
        return fault(0, "no data record lies in the program flash (0x9D000000 to 0x9D4FFFFF)");
    }
    result.ok = true;
    return result;
}

HexCheckResult checkHexFile(const std::string& utf8Path) {
    errno = 0;
    FilePtr file = openForReading(utf8Path);
    if (!file) {
        const int err = errno;
        return fault(0, "cannot open " + utf8Path + (err != 0 ? std::string(": ") + std::strerror(err) : ""));
    }
    std::string text;
    std::array<char, 64 * 1024> block{};
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0) break;
        text.append(block.data(), got);
    }
    if (std::ferror(file.get())) return fault(0, "cannot read " + utf8Path);
    return checkHexText(text);
}

} // namespace tarvane
