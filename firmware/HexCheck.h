#pragma once

#include "firmware/FlashImage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvane {

// Longest line worth judging: a record of 255 data bytes is 523 characters
// with ':' and CR LF. Longer lines are refused by their start, so a file of
// one endless line (a device, a binary chosen by mistake) need not be read on.
inline constexpr std::size_t kLongestCheckedLine = 1024;

// Outcome of checking a whole HEX file before any of it goes to a board.
struct HexCheckResult {
    bool ok = false;
    // 1-based line of the first fault; 0 when the fault is the file as a whole.
    std::uint32_t line = 0;
    std::string reason;
    // The file could not be read: its lines were never judged (see HexFile.h).
    bool unreadable = false;
    // Counts over the whole file when it passes.
    std::uint32_t records = 0;
    std::uint64_t dataBytes = 0;
    // What the board is asked to verify, when the file passes: the range of
    // its data in the flash image (see ImageLayout), laid out on the way.
    VerifyRange range;

    // "line 12: checksum is 0x3A, the record needs 0x3B", or the reason alone.
    std::string describe() const;
};

// Refuses anything a board must never receive: characters that are not hex
// digits, odd digit counts, a length byte that disagrees with the line,
// unknown record types, bad checksums, a non-record line before the last
// record or after the end-of-file record (blank lines may follow it), a
// missing end-of-file record, no data inside the program flash, or data that
// a board would program where the verified image does not hold it. Blanks
// after a record's last digit are ignored, and the text ends at its first
// Ctrl-Z, as it does for HexFileReader; a Ctrl-Z ahead of the end-of-file
// record is refused at its line. A file that passes has its verify range
// from the same pass: the text is read once for all its facts.
HexCheckResult checkHexText(std::string_view text);

} // namespace tarvane
