#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// An Intel HEX writer for tests, kept apart from the product's reader so
// that the two can catch each other's mistakes: it places bytes and computes
// the CRC on its own, from the blocks it was given, never by reading records.
namespace tarvane::test {

// A run of bytes at a file address (0x1D000000 and 0x9D000000 both name the
// start of the program flash).
struct HexBlock {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

enum class HexAddressing {
    Linear,  // type-04 records throughout
    Segment, // type-02 records wherever they reach (below 1 MiB), type-04 above
};

struct HexGenOptions {
    std::size_t bytesPerRecord = 16; // 1..255
    HexAddressing addressing = HexAddressing::Linear;
    bool lowercase = false;
    bool crlf = false;
    bool finalNewline = true;
    bool startSegmentRecord = false; // a type-03 record before the end
    bool startLinearRecord = false;  // a type-05 record before the end
    std::size_t trailingEmptyLines = 0; // after the end record; needs finalNewline
};

// What the product must report for a generated file.
struct HexExpectation {
    bool hasImageData = false;
    std::uint32_t start = 0; // flash address, rounded down to 4
    std::uint32_t length = 0; // rounded up to 4
    std::uint16_t crc = 0;
    std::uint32_t records = 0; // every record, every type
    std::uint64_t dataBytes = 0; // data bytes of all type-00 records
    std::uint32_t lines = 0; // as a line counter sees them
    // Line (1-based) of each data record, for tests that spoil one.
    std::vector<std::uint32_t> dataLines;
};

struct GeneratedHex {
    std::string text;
    HexExpectation expected;
};

// The program flash as mapped by the product: bit 31 set.
inline constexpr std::uint32_t kGenImageBase = 0x9D000000;
inline constexpr std::uint32_t kGenImageEnd = 0x9D500000;

// Writes the blocks in order. Blocks must not overlap and no record may
// straddle the image's edges (use malformedSamples for that).
GeneratedHex generateHex(const std::vector<HexBlock>& blocks, const HexGenOptions& options = {});

// Bit-at-a-time CRC-16/XMODEM, the slowest and plainest form there is.
std::uint16_t referenceCrc16(const std::uint8_t* data, std::size_t length);

// Deterministic bytes that are not all alike.
std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint32_t seed);

// One record line with its checksum, without line ending.
std::string hexRecordLine(std::uint8_t type, std::uint16_t offset, const std::vector<std::uint8_t>& data,
                          bool lowercase = false);
// A record line from raw bytes (length, offset, type, data) plus a correct
// checksum, whatever the length byte says.
std::string hexLineFromBytes(const std::vector<std::uint8_t>& bytesWithoutChecksum, bool lowercase = false);

// Text edits that keep line endings intact. Lines are 1-based.
std::vector<std::string> splitLines(const std::string& text); // without '\n', keeping any '\r'
std::string joinLines(const std::vector<std::string>& lines, bool finalNewline = true);
std::string replaceLine(const std::string& text, std::uint32_t line, const std::string& content);
std::string insertLine(const std::string& text, std::uint32_t beforeLine, const std::string& content);
std::string removeLine(const std::string& text, std::uint32_t line);

// A file the check must refuse, the line it must name (0 for a fault of the
// file as a whole) and a word its reason must contain.
struct MalformedHex {
    std::string kind;
    std::string text;
    std::uint32_t line = 0;
    std::string reasonHint;
};

// Every kind of malformed file, each derived from `good` (which must have at
// least three data records) or, for layout faults, built from scratch.
std::vector<MalformedHex> malformedSamples(const GeneratedHex& good);

// The full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name);

// srec_cat's CRC-16/XMODEM over [start, start + length) of the file's own
// addresses (it knows nothing of the bit-31 mapping), erased bytes 0xFF.
// Empty when srec_cat fails or prints something unexpected.
std::optional<std::uint16_t> srecCatCrc16(const std::string& srecCat, const std::string& hexPath,
                                          std::uint32_t start, std::uint32_t length);

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes `text` byte for byte to a file (creating folders on the way)
    // and returns its path as UTF-8; empty on failure.
    std::string write(const std::string& utf8RelativePath, const std::string& text) const;

private:
    std::filesystem::path path_;
};

} // namespace tarvane::test
