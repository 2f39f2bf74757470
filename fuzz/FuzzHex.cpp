// The HEX file's way in: the check (in memory and from a file, which must
// agree), the reader on any bytes, and for files that pass, the records the
// reader hands out, the image load and what a board makes of the same records.
#include "firmware/Crc16.h"
#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "firmware/HexFileReader.h"
#include "firmware/HexRecord.h"
#include "fuzz/FuzzInput.h"
#include "sim/BoardFlash.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>
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
           a.dataBytes == b.dataBytes;
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

// The reader alone on whatever the file holds: no read may pass the
// destination the caller sized for its limit.
void readAlone(const std::string& path, std::string_view text, std::size_t limit) {
    HexFileReader reader;
    require(reader.open(path), "the reader cannot open the file");
    require(reader.linesTotal() == countLines(text.substr(0, text.find(kEndOfTextMark))),
            "linesTotal is not the line count of the text before its end mark");
    // Counting the lines leaves the stream at the end, as the update expects.
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

void checkPassingFile(const std::string& path, const HexCheckResult& result) {
    static FlashImage image;
    static Expected expected;
    static BoardFlash board;
    expected.clear();
    board.erase();
    board.resetAddressing();

    HexFileReader reader;
    require(reader.open(path), "the reader cannot open a file that passed the check");
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
    const auto body = in.rest();
    const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
    static MemoryFile file;
    file.write(text);

    const HexCheckResult inMemory = checkHexText(text);
    const HexCheckResult fromFile = checkHexFile(file.path());
    require(sameResult(inMemory, fromFile), "checkHexText and checkHexFile judge the same bytes differently");
    readAlone(file.path(), text, lineLimit(limitChoice, value));
    if (fromFile.ok) checkPassingFile(file.path(), fromFile);
    return 0;
}
