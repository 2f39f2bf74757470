// The HEX file's way in: the check (in memory and of a file read once, which
// must agree), the reader on any bytes, and for files that pass, the records the
// reader hands out, the image load and what a board makes of the same records.
// The text is the input's own bytes or a valid file made from them, then
// reshaped where reader and check could part: blank and tab tails of any
// length, lines ending near each line limit, CR LF and Ctrl-Z anywhere.
#include "firmware/Crc16.h"
#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "firmware/HexFile.h"
#include "firmware/HexFileReader.h"
#include "firmware/HexRecord.h"
#include "fuzz/FuzzInput.h"
#include "sim/BoardFlash.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvane::fuzz {
namespace {

// The file under test lives in memory; /proc/self/fd gives it a path to open.
class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("tarvane-fuzz-hex", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {
        require(fd_ >= 0, "memfd_create failed");
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void write(std::string_view text) {
        require(::ftruncate(fd_, 0) == 0, "ftruncate failed");
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done));
            require(n > 0, "pwrite failed");
            done += static_cast<std::size_t>(n);
        }
    }
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

std::uint32_t countLines(std::string_view text) {
    std::uint32_t lines = 0;
    for (const char c : text) lines += c == '\n' ? 1u : 0u;
    if (!text.empty() && text.back() != '\n') ++lines;
    return lines;
}

bool sameResult(const HexCheckResult& a, const HexCheckResult& b) {
    return a.ok == b.ok && a.line == b.line && a.reason == b.reason && a.records == b.records &&
           a.dataBytes == b.dataBytes && a.range == b.range;
}

// Line limits: mostly the one the product uses, sometimes any other.
std::size_t lineLimit(std::uint8_t choice, std::uint16_t value) {
    switch (choice % 8) {
    case 5: return 255;
    case 6: return HexFileReader::kLineLimit + value % 200;
    case 7: return value % 1000;
    default: return HexFileReader::kLineLimit;
    }
}

// One record line, checksum included, without its line end.
std::string recordLine(std::uint8_t type, std::uint16_t offset, std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
                                       static_cast<std::uint8_t>(offset), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (const std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    bytes.push_back(static_cast<std::uint8_t>(-sum));
    std::string line = ":";
    for (const std::uint8_t b : bytes) {
        std::array<char, 3> hex{};
        std::snprintf(hex.data(), hex.size(), "%02X", b);
        line += hex.data();
    }
    return line;
}

// A file that passes the check: the rest of the input as data records at the
// start of the program flash.
std::vector<std::string> validFile(FuzzInput& in) {
    const std::uint8_t form = in.byte();
    const std::size_t perRecord = form % 32 + 1;
    const auto offset = static_cast<std::uint16_t>(in.u16() % 0x8000);
    const std::span<const std::uint8_t> data = in.bytes(4096);
    std::vector<std::string> lines = {":020000041D00DD"};
    for (std::size_t at = 0; at < data.size(); at += perRecord) {
        lines.push_back(recordLine(kTypeData, static_cast<std::uint16_t>(offset + at),
                                   data.subspan(at, std::min(perRecord, data.size() - at))));
    }
    if (data.empty()) lines.push_back(recordLine(kTypeData, offset, std::array<std::uint8_t, 1>{}));
    lines.push_back(":00000001FF");
    lines.emplace_back(); // after the last newline
    return lines;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (std::size_t end; (end = text.find('\n', pos)) != std::string_view::npos; pos = end + 1) {
        lines.emplace_back(text.substr(pos, end - pos));
    }
    lines.emplace_back(text.substr(pos));
    return lines;
}

// Blanks a tail may hold: the check and the reader both pass over them.
char blank(std::uint8_t pattern, std::size_t i) {
    static constexpr std::string_view kPatterns[] = {" ", "\t", " \t", "\t \r "};
    const std::string_view chars = kPatterns[pattern % 4];
    return chars[i % chars.size()];
}

// Whole line lengths around the limits of a read (255, 995 with its 994
// characters) and of the check (1024), counted with the line's CR.
constexpr std::size_t kNearLimits[] = {252, 253, 254, 255, 256, 992, 993, 994, 995, 996, 1023, 1024, 1025};

// Reshapes line `which` as `kind` says, by `amount`.
void reshape(std::vector<std::string>& lines, std::uint16_t which, std::uint8_t kind, std::uint16_t amount) {
    std::string& line = lines[which % lines.size()];
    const std::uint8_t pattern = kind >> 2;
    const bool crlf = !line.empty() && line.back() == '\r';
    // Blanks go before a CR, as an editor would leave them.
    const auto pad = [&](std::size_t i) { line.insert(line.size() - (crlf ? 1 : 0), 1, blank(pattern, i)); };
    switch (kind % 4) {
    case 0: // a blank tail of any length up to past the check's
        for (std::size_t i = 0; i < amount % 1100u; ++i) pad(i);
        break;
    case 1: { // blanks up to a length near a limit
        const std::size_t target = kNearLimits[amount % std::size(kNearLimits)];
        for (std::size_t i = 0; line.size() < target; ++i) pad(i);
        break;
    }
    case 2: // CR LF, or LF alone again
        if (crlf) line.pop_back();
        else line.push_back('\r');
        break;
    default: // a Ctrl-Z at the end or anywhere in the line
        line.insert(pattern % 2 != 0 ? line.size() : amount % (line.size() + 1), 1, kEndOfTextMark);
        break;
    }
}

// The text under test: a shape byte says whether the input's bytes are the
// text or a valid file is made from them, and how many reshapes follow.
std::string makeText(FuzzInput& in) {
    const std::uint8_t shape = in.byte();
    struct Reshape {
        std::uint16_t line;
        std::uint8_t kind;
        std::uint16_t amount;
    };
    std::vector<Reshape> reshapes(shape % 8);
    for (Reshape& r : reshapes) r = {in.u16(), in.byte(), in.u16()};
    if (reshapes.empty() && (shape & 0x08) == 0) {
        const auto body = in.rest();
        return {reinterpret_cast<const char*>(body.data()), body.size()};
    }
    std::vector<std::string> lines;
    if ((shape & 0x08) != 0) {
        lines = validFile(in);
    } else {
        const auto body = in.rest();
        lines = splitLines({reinterpret_cast<const char*>(body.data()), body.size()});
    }
    for (const Reshape& r : reshapes) reshape(lines, r.line, r.kind, r.amount);
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0) text += '\n';
        text += lines[i];
    }
    return text;
}

// The reader alone on whatever the file holds: no read may pass the
// destination the caller sized for its limit.
void readAlone(const std::shared_ptr<const std::string>& bytes, std::size_t limit) {
    const std::string_view text = *bytes;
    HexFileReader reader;
    require(reader.open(bytes), "the reader cannot open the file's bytes");
    require(reader.linesTotal() == countLines(text.substr(0, text.find(kEndOfTextMark))),
            "linesTotal is not the line count of the text before its end mark");
    // Counting the lines leaves the reader at the end, as the update expects.
    require(reader.readRecord(nullptr, limit) == 0, "a read right after open gave a record");
    reader.rewind();
    std::vector<std::uint8_t> destination(limit >= 2 ? HexFileReader::destinationSize(limit) : 1);
    for (std::size_t reads = 0; reads <= text.size() + 1; ++reads) {
        const std::uint16_t count = reader.readRecord(destination.data(), limit);
        require(count <= destination.size(), "a read returned more bytes than its destination holds");
        if (count == 0) return;
    }
    fail("the reader never reached the end of the file");
}

struct Written {
    std::uint32_t offset;
    std::uint32_t length;
};

// The image as the records describe it, laid in by this harness itself.
struct Expected {
    std::unique_ptr<std::uint8_t[]> image = std::make_unique<std::uint8_t[]>(kImageSize);
    std::vector<Written> written;
    // Board-flash bytes written so far, to tell whether a file overwrites itself.
    std::vector<std::uint8_t> touched = std::vector<std::uint8_t>(BoardFlash::kSize);

    Expected() { std::memset(image.get(), 0xFF, kImageSize); }
    void clear() {
        for (const Written& w : written) std::memset(image.get() + w.offset, 0xFF, w.length);
        written.clear();
        std::memset(touched.data(), 0, touched.size());
    }
};

void checkPassingFile(const HexFile& file) {
    const HexCheckResult& result = file.check;
    static FlashImage image;
    static Expected expected;
    static BoardFlash board;
    expected.clear();
    board.erase();
    board.resetAddressing();

    HexFileReader reader;
    require(reader.open(file.bytes), "the reader cannot open a file that passed the check");
    reader.rewind();

    std::array<std::uint8_t, HexFileReader::destinationSize(HexFileReader::kLineLimit)> record{};
    std::uint32_t records = 0;
    std::uint64_t dataBytes = 0;
    std::uint32_t segmentBase = 0;
    std::uint32_t linearBase = 0;
    std::uint32_t lowest = 0xFFFFFFFF;
    std::uint32_t highestEnd = 0;
    bool overwrites = false;
    for (;;) {
        const std::uint16_t count = reader.readRecord(record.data(), HexFileReader::kLineLimit);
        if (count == 0) break;
        ++records;
        require(count >= kRecordOverhead && count == record[kRecordLength] + kRecordOverhead,
                "a record of a passing file does not hold its length byte's data");
        require(BoardFlash::recordsValid(record.data(), count), "a record of a passing file fails its checksum");
        const std::uint8_t length = record[kRecordLength];
        const std::uint8_t type = record[kRecordType];
        require(type <= kTypeStartLinear, "a record of a passing file has an unknown type");
        board.program(record.data(), count);

        const auto value = static_cast<std::uint32_t>(record[kRecordData] << 8 | record[kRecordData + 1]);
        if (type == kTypeExtendedSegment) {
            segmentBase = value * 16;
            linearBase = 0;
        } else if (type == kTypeExtendedLinear) {
            linearBase = value << 16;
            segmentBase = 0;
        } else if (type != kTypeData) {
            segmentBase = 0;
            linearBase = 0;
        } else {
            dataBytes += length;
            const auto offset = static_cast<std::uint32_t>(record[kRecordOffsetHigh] << 8 | record[kRecordOffsetLow]);
            const std::uint32_t address = (offset + segmentBase + linearBase) | 0x80000000u;
            const std::uint64_t end = std::uint64_t{address} + length;
            if (length == 0) continue;
            if (address >= kImageBase && end <= kImageEnd) {
                const std::uint32_t at = address - kImageBase;
                std::memcpy(expected.image.get() + at, record.data() + kRecordData, length);
                expected.written.push_back({at, length});
                for (std::uint32_t i = at; i < at + length && i < BoardFlash::kSize; ++i) {
                    overwrites |= expected.touched[i] != 0;
                    expected.touched[i] = 1;
                }
                lowest = std::min(lowest, address);
                highestEnd = std::max(highestEnd, static_cast<std::uint32_t>(end));
            } else {
                require(end <= kImageBase || address >= kImageEnd,
                        "a passing file has a data record partly inside the image");
            }
        }
    }
    require(records == result.records, "the check counted other records than the reader hands out");
    require(dataBytes == result.dataBytes, "the check counted other data bytes than the records hold");
    require(reader.linesConsumed() == records, "linesConsumed is not the records read");
    require(reader.readRecord(record.data(), HexFileReader::kLineLimit) == 0, "a read past the end gave a record");
    require(highestEnd != 0, "a passing file has no data in the image");

    const VerifyRange range = loadImage(reader, image);
    const std::uint32_t start = lowest & ~3u;
    const std::uint64_t end = (std::uint64_t{highestEnd} + 3) & ~std::uint64_t{3};
    require(range.start == start, "the range does not start at the lowest data address rounded down");
    require(range.start + std::uint64_t{range.length} == end, "the range does not end at the highest end rounded up");
    require(range.start >= kImageBase && end <= kImageEnd, "the range leaves the image");
    require(range.start % 4 == 0 && range.length % 4 == 0, "the range is not word aligned");
    const std::uint32_t at = range.start - kImageBase;
    require(range.crc == crc16(image.data() + at, range.length), "the range's CRC is not that of the image");
    require(std::memcmp(image.data() + at, expected.image.get() + at, range.length) == 0,
            "the image is not what the records say");
    for (std::uint32_t i = 1; i <= 4; ++i) {
        require(at < i || image.data()[at - i] == 0xFF, "the image holds data below the range");
        require(at + range.length + i > kImageSize || image.data()[at + range.length + i - 1] == 0xFF,
                "the image holds data above the range");
    }
    require(loadImage(reader, image) == range, "a second load gives another range");
    // The check lays the image out in its one pass; the reader's records must give the same.
    require(file.check.range == range, "the file's range is not its image's");

    // The same records on a board: nothing may land where the update does not
    // verify, and without overwrites the verified bytes are the image's.
    static const std::vector<std::uint8_t> erased(BoardFlash::kSize, 0xFF);
    const std::uint8_t* flash = board.bytes().data();
    const std::uint32_t flashEnd = kImageBase + BoardFlash::kSize;
    const std::uint32_t from = std::min(range.start, flashEnd) - kImageBase;
    const std::uint32_t to = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, flashEnd)) - kImageBase;
    require(std::memcmp(flash, erased.data(), from) == 0 &&
                std::memcmp(flash + to, erased.data(), BoardFlash::kSize - to) == 0,
            "the board holds data outside the verified range");
    require(overwrites || std::memcmp(flash + from, image.data() + from, to - from) == 0,
            "the board's flash differs from the image in the verified range");
}

} // namespace
} // namespace tarvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvane;
    using namespace tarvane::fuzz;
    FuzzInput in(data, size);
    const std::uint8_t limitChoice = in.byte();
    const std::uint16_t value = in.u16();
    const std::string text = makeText(in);
    static MemoryFile file;
    file.write(text);

    const HexCheckResult inMemory = checkHexText(text);
    const std::shared_ptr<const HexFile> loaded = loadHexFile(file.path());
    require(sameResult(inMemory, loaded->check), "the text and the file read from it are judged differently");
    // Reading stops early only at a line that fails the check anyway.
    require(*loaded->bytes == text || (!loaded->check.ok && text.starts_with(*loaded->bytes)),
            "the file's bytes are not its text");
    readAlone(loaded->bytes, lineLimit(limitChoice, value));
    if (loaded->check.ok) checkPassingFile(*loaded);
    return 0;
}
