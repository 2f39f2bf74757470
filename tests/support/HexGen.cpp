#include "tests/support/HexGen.h"

#include "firmware/Utf8Path.h"
#include "tests/support/RunProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace tarvane::test {
namespace {

constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEnd = 0x01;
constexpr std::uint8_t kSegment = 0x02;
constexpr std::uint8_t kStartSegment = 0x03;
constexpr std::uint8_t kLinear = 0x04;
constexpr std::uint8_t kStartLinear = 0x05;

// Segment records reach at most 0xFFFF * 16 + 0xFFFF; stay well inside.
constexpr std::uint32_t kSegmentReach = 0x100000;

std::string byteDigits(std::uint8_t b, bool lowercase) {
    char buf[3];
    std::snprintf(buf, sizeof buf, lowercase ? "%02x" : "%02X", static_cast<unsigned>(b));
    return buf;
}

// A piece of a data record that lands in the image, as the generator placed it.
struct Placed {
    std::uint32_t flashAddress;
    const std::uint8_t* bytes;
    std::size_t count;
};

HexExpectation expectationFor(const std::vector<Placed>& placed) {
    HexExpectation e;
    if (placed.empty()) return e;
    std::uint32_t lowest = 0xFFFFFFFF;
    std::uint32_t highestEnd = 0;
    for (const Placed& p : placed) {
        lowest = std::min(lowest, p.flashAddress);
        highestEnd = std::max(highestEnd, static_cast<std::uint32_t>(p.flashAddress + p.count));
    }
    e.hasImageData = true;
    e.start = lowest - lowest % 4;
    const std::uint32_t span = highestEnd - e.start;
    e.length = span + (4 - span % 4) % 4;
    std::vector<std::uint8_t> range(e.length, 0xFF);
    for (const Placed& p : placed) std::copy_n(p.bytes, p.count, range.begin() + (p.flashAddress - e.start));
    e.crc = referenceCrc16(range.data(), range.size());
    return e;
}

bool textUsesCrlf(const std::string& text) {
    return text.find("\r\n") != std::string::npos;
}

bool endsWithNewline(const std::string& text) {
    return !text.empty() && text.back() == '\n';
}

} // namespace

std::uint16_t referenceCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((data[i] >> bit) & 1u) != 0;
            const bool top = (crc & 0x8000u) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (in != top) crc ^= 0x1021;
        }
    }
    return crc;
}

std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> out(count);
    std::uint32_t x = seed * 2654435761u + 1u;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

std::string hexLineFromBytes(const std::vector<std::uint8_t>& bytes, bool lowercase) {
    std::string line = ":";
    unsigned sum = 0;
    for (std::uint8_t b : bytes) {
        line += byteDigits(b, lowercase);
        sum += b;
    }
    line += byteDigits(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)), lowercase);
    return line;
}

std::string hexRecordLine(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data,
                          bool lowercase) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
                                    static_cast<std::uint8_t>(offset & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return hexLineFromBytes(bytes, lowercase);
}

GeneratedHex generateHex(const std::vector<HexBlock>& blocks, const HexGenOptions& options) {
    const std::size_t perRecord = std::clamp<std::size_t>(options.bytesPerRecord, 1, 255);
    std::vector<std::string> lines;
    HexExpectation counts;
    std::vector<Placed> placed;

    auto emit = [&](std::uint8_t type, std::uint32_t offset, const std::vector<std::uint8_t>& data) {
        lines.push_back(hexRecordLine(type, static_cast<std::uint16_t>(offset), data, options.lowercase));
        ++counts.records;
        if (type == kData) {
            counts.dataBytes += data.size();
            counts.dataLines.push_back(static_cast<std::uint32_t>(lines.size()));
        }
    };
    auto upperWord = [](std::uint32_t v) {
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v & 0xFF)};
    };

    enum class Mode { None, Linear, Segment } mode = Mode::None;
    std::uint32_t linearUpper = 0;
    std::uint32_t segmentBase = 0;

    for (const HexBlock& block : blocks) {
        std::size_t pos = 0;
        while (pos < block.bytes.size()) {
            const auto address = static_cast<std::uint32_t>(block.address + pos);
            std::size_t n = std::min(perRecord, block.bytes.size() - pos);
            std::uint32_t offset = 0;
            if (options.addressing == HexAddressing::Segment && address + n <= kSegmentReach) {
                if (mode != Mode::Segment || address < segmentBase || address - segmentBase + n > 0x10000) {
                    // An unaligned segment makes the x16 of the segment value matter.
                    const std::uint32_t segment = address >> 4;
                    emit(kSegment, 0, upperWord(segment));
                    segmentBase = segment * 16;
                    mode = Mode::Segment;
                }
                offset = address - segmentBase;
            } else {
                n = std::min<std::size_t>(n, 0x10000 - (address & 0xFFFF));
                if (mode != Mode::Linear || (address >> 16) != linearUpper) {
                    linearUpper = address >> 16;
                    emit(kLinear, 0, upperWord(linearUpper));
                    mode = Mode::Linear;
                }
                offset = address & 0xFFFF;
            }
            const auto first = block.bytes.begin() + static_cast<std::ptrdiff_t>(pos);
            emit(kData, offset, std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(n)));

            const std::uint32_t flash = address | 0x80000000u;
            if (flash >= kGenImageBase && std::uint64_t{flash} + n <= kGenImageEnd) {
                placed.push_back({flash, block.bytes.data() + pos, n});
            }
            pos += n;
        }
    }
    if (options.startSegmentRecord) emit(kStartSegment, 0, {0x12, 0x34, 0x56, 0x78});
    if (options.startLinearRecord) emit(kStartLinear, 0, {0x9D, 0x00, 0x10, 0x00});
    emit(kEnd, 0, {});

    GeneratedHex out;
    out.expected = expectationFor(placed);
    out.expected.records = counts.records;
    out.expected.dataBytes = counts.dataBytes;
    out.expected.dataLines = std::move(counts.dataLines);

    const char* eol = options.crlf ? "\r\n" : "\n";
    std::size_t size = 0;
    for (const auto& l : lines) size += l.size() + 2;
    out.text.reserve(size + options.trailingEmptyLines * 2);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out.text += lines[i];
        if (i + 1 < lines.size() || options.finalNewline) out.text += eol;
    }
    const std::size_t trailing = options.finalNewline ? options.trailingEmptyLines : 0;
    for (std::size_t i = 0; i < trailing; ++i) out.text += eol;
    out.expected.lines = static_cast<std::uint32_t>(lines.size() + trailing);
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines, bool finalNewline) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || finalNewline) text += '\n';
    }
    return text;
}

std::string replaceLine(const std::string& text, std::uint32_t line, const std::string& content) {
    auto lines = splitLines(text);
    if (line == 0 || line > lines.size()) return text;
    std::string& target = lines[line - 1];
    const bool cr = !target.empty() && target.back() == '\r';
    target = content + (cr ? "\r" : "");
    return joinLines(lines, endsWithNewline(text));
}

std::string insertLine(const std::string& text, std::uint32_t beforeLine, const std::string& content) {
    auto lines = splitLines(text);
    if (beforeLine == 0 || beforeLine > lines.size() + 1) return text;
    lines.insert(lines.begin() + (beforeLine - 1), content + (textUsesCrlf(text) ? "\r" : ""));
    return joinLines(lines, endsWithNewline(text));
}

std::string removeLine(const std::string& text, std::uint32_t line) {
    auto lines = splitLines(text);
    if (line == 0 || line > lines.size()) return text;
    lines.erase(lines.begin() + (line - 1));
    return joinLines(lines, endsWithNewline(text));
}

std::vector<MalformedHex> malformedSamples(const GeneratedHex& good) {
    std::vector<MalformedHex> out;
    const auto& dataLines = good.expected.dataLines;
    if (dataLines.size() < 3) return out;
    const std::uint32_t target = dataLines[dataLines.size() / 2];
    const auto lines = splitLines(good.text);
    std::string record = lines[target - 1];
    if (!record.empty() && record.back() == '\r') record.pop_back();
    const std::uint32_t lastLine = [&] {
        std::uint32_t last = 0;
        for (std::uint32_t i = 0; i < lines.size(); ++i) {
            if (!lines[i].empty() && lines[i][0] == ':') last = i + 1;
        }
        return last;
    }();

    // The record's bytes, without checksum, to rebuild variants with a valid sum.
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i + 2 < record.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(record.substr(i, 2), nullptr, 16)));
    }
    auto withRecord = [&](const std::string& line) { return replaceLine(good.text, target, line); };
    auto flipDigit = [](char c) { return c == '0' ? '1' : (c == '1' ? '0' : (c == 'F' || c == 'f' ? 'E' : '0')); };

    {
        std::string r = record;
        r[10] = 'G';
        out.push_back({"letter G among the digits", withRecord(r), target, "not a hexadecimal digit"});
    }
    {
        std::string r = record;
        r[11] = '\0';
        out.push_back({"NUL byte in a record", withRecord(r), target, "byte 0x00"});
    }
    // Blanks after the last digit are ignored; between digits they are faults.
    out.push_back({"space among the digits", withRecord(record.substr(0, 9) + " " + record.substr(9)), target, "space"});
    out.push_back({"tab among the digits", withRecord(record.substr(0, 9) + "\t" + record.substr(9)), target, "tab"});
    out.push_back({"space inside the end record", replaceLine(good.text, lastLine, ":00000001 FF"), lastLine,
                   "space"});
    out.push_back({"odd number of digits", withRecord(record.substr(0, record.size() - 1)), target, "odd"});
    {
        auto b = bytes;
        b[0] = static_cast<std::uint8_t>(b[0] - 1);
        out.push_back({"length byte one short", withRecord(hexLineFromBytes(b)), target, "length byte"});
        b[0] = static_cast<std::uint8_t>(b[0] + 2);
        out.push_back({"length byte one long", withRecord(hexLineFromBytes(b)), target, "length byte"});
    }
    {
        auto b = bytes;
        b[3] = 0x06;
        out.push_back({"record type 06", withRecord(hexLineFromBytes(b)), target, "record type"});
        b[3] = 0xFF;
        out.push_back({"record type FF", withRecord(hexLineFromBytes(b)), target, "record type"});
    }
    {
        std::string r = record;
        r.back() = flipDigit(r.back());
        out.push_back({"wrong checksum", withRecord(r), target, "checksum"});
        r = record;
        r[9] = flipDigit(r[9]);
        out.push_back({"flipped data digit", withRecord(r), target, "checksum"});
        r = record;
        r[6] = flipDigit(r[6]); // the offset: the data would land elsewhere
        out.push_back({"flipped offset digit", withRecord(r), target, "checksum"});
    }
    out.push_back({"linear address record with 1 byte",
                   insertLine(good.text, target, hexLineFromBytes({0x01, 0x00, 0x00, 0x04, 0x1D})), target,
                   "extended-address"});
    out.push_back({"linear address record with 3 bytes",
                   insertLine(good.text, target, hexLineFromBytes({0x03, 0x00, 0x00, 0x04, 0x1D, 0x00, 0x00})),
                   target, "extended-address"});
    out.push_back({"segment address record with 4 bytes",
                   insertLine(good.text, target, hexLineFromBytes({0x04, 0x00, 0x00, 0x02, 0x10, 0x00, 0, 0})),
                   target, "extended-address"});
    out.push_back({"linear address record without data", insertLine(good.text, target, ":00000004FC"), target,
                   "extended-address"});
    out.push_back({"too short for a record", withRecord(":000000"), target, "too short"});
    out.push_back({"text line among the records", insertLine(good.text, target, "garbage"), target, "not a record"});
    out.push_back({"comment line", insertLine(good.text, target, "; built by hand"), target, "not a record"});
    out.push_back({"record indented by a space", withRecord(" " + record), target, "not a record"});
    out.push_back({"text after the end record", insertLine(good.text, lastLine + 1, "end"), lastLine + 1,
                   "not a record"});
    out.push_back({"empty line among the records", insertLine(good.text, target, ""), target, "empty line"});
    out.push_back({"empty line before the end record", insertLine(good.text, lastLine, ""), lastLine, "empty line"});
    {
        // Cut inside a record, leaving an even number of digits: the length no longer fits.
        std::size_t cutAt = 0;
        for (std::uint32_t i = 0; i + 1 < target; ++i) cutAt += lines[i].size() + 1;
        out.push_back({"cut inside a record", good.text.substr(0, cutAt + 1 + 10), target, "length byte"});
        out.push_back({"cut at a line end", good.text.substr(0, cutAt), 0, "end-of-file"});
    }
    out.push_back({"end record missing", removeLine(good.text, lastLine), 0, "end-of-file"});
    out.push_back({"empty file", "", 0, "empty"});
    out.push_back({"only an end record", ":00000001FF\n", 0, "no data record"});

    // Layout faults, built from scratch.
    out.push_back({"boot and configuration data only",
                   generateHex({{0x1FC00000, patternBytes(64, 1)}, {0x1FC02FF0, patternBytes(16, 2)}}).text, 0,
                   "no data record"});
    out.push_back({"segment-addressed data only",
                   generateHex({{0x00012340, patternBytes(48, 3)}}, {.addressing = HexAddressing::Segment}).text, 0,
                   "no data record"});
    {
        const std::string text = joinLines({hexRecordLine(kLinear, 0, {0x1D, 0x00}),
                                            hexRecordLine(kData, 0x0000, patternBytes(16, 4)),
                                            hexRecordLine(kLinear, 0, {0x1D, 0x4F}),
                                            hexRecordLine(kData, 0xFFF8, patternBytes(16, 5)), ":00000001FF"});
        out.push_back({"data running past the end of the flash", text, 4, "0x9D500000"});
    }
    {
        const std::string text = joinLines({hexRecordLine(kLinear, 0, {0x1C, 0xFF}),
                                            hexRecordLine(kData, 0xFFF8, patternBytes(16, 6)),
                                            hexRecordLine(kLinear, 0, {0x1D, 0x00}),
                                            hexRecordLine(kData, 0x0010, patternBytes(16, 7)), ":00000001FF"});
        out.push_back({"data running into the start of the flash", text, 2, "0x9D000000"});
    }
    return out;
}

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(dir) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
    }
    return {};
}

std::optional<std::uint16_t> srecCatCrc16(const std::string& srecCat, const std::string& hexPath,
                                          std::uint32_t start, std::uint32_t length) {
    auto address = [](std::uint64_t v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08llX", static_cast<unsigned long long>(v));
        return std::string(buf);
    };
    const std::string s = address(start);
    const std::string e = address(std::uint64_t{start} + length);
    const std::string e2 = address(std::uint64_t{start} + length + 2);
    // The CRC goes little-endian right after the range; the hex dump then
    // shows just those two bytes: "1D000000:             03 0D    #    ..".
    const auto r = runProcess(srecCat, {hexPath, "-intel", "-crop", s, e, "-fill", "0xFF", s, e, "-crc16-l-e", e,
                                        "-xmodem", "-crop", e, e2, "-o", "-", "-hex-dump"});
    if (r.exitCode != 0) return std::nullopt;
    const auto colon = r.out.find(':');
    const auto hash = r.out.find('#');
    if (colon == std::string::npos || hash == std::string::npos || hash < colon) return std::nullopt;
    std::istringstream bytes(r.out.substr(colon + 1, hash - colon - 1));
    unsigned lo = 0;
    unsigned hi = 0;
    if (!(bytes >> std::hex >> lo >> hi) || lo > 0xFF || hi > 0xFF) return std::nullopt;
    return static_cast<std::uint16_t>(hi << 8 | lo);
}

ScratchDir::ScratchDir() {
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    std::random_device entropy;
    const auto salt = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("tarvane-" + std::to_string(salt ^ entropy()) + "-" + std::to_string(attempt));
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string ScratchDir::write(const std::string& utf8RelativePath, const std::string& text) const {
    if (path_.empty()) return {};
    const auto file = path_ / pathFromUtf8(utf8RelativePath);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) return {};
    return utf8FromPath(file);
}

} // namespace tarvane::test
