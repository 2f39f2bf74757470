#pragma once

#include "firmware/HexCheck.h"

#include <cstddef>
#include <memory>
#include <string>

namespace tarvane {

// A HEX file as one update uses it: read once, whole, and checked. The line
// count, the image, the program batches and the support report all work from
// these bytes, so what was checked is what is sent, whatever happens to the
// file meanwhile; a pipe or a FIFO is read once like any file.
struct HexFile {
    std::string path;
    // What was read; the whole file unless `readError` says otherwise.
    std::shared_ptr<const std::string> bytes;
    // Why the bytes are not the whole file: "cannot open it: REASON",
    // "cannot read it", or where reading stopped. Empty when they are.
    std::string readError;
    // With the verify range of a file that passes.
    HexCheckResult check;
    // A pipe, a FIFO or a device gives its bytes once.
    bool regular = false;
};

// Far beyond a file for the boards' 5 MiB of flash; a larger one is refused
// unread rather than held in memory.
inline constexpr std::size_t kHexFileLimit = std::size_t{256} << 20;

// Reads the file once and checks it, which gives its verification range. A line
// longer than any record stops the reading there (an endless device is
// refused at its first line); a file past `limit` bytes is refused unread.
std::shared_ptr<const HexFile> loadHexFile(const std::string& utf8Path, std::size_t limit = kHexFileLimit);
// The file as it is now: a regular file is read again (it may have been
// replaced since), anything else keeps the bytes it gave.
std::shared_ptr<const HexFile> reloadHexFile(const std::shared_ptr<const HexFile>& file);

} // namespace tarvane
