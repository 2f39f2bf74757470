#pragma once

#include "firmware/FileOpen.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvane {

// Hands out the records of an Intel HEX file one line at a time, as the raw
// bytes the line's digit pairs spell. It does not interpret records; run
// checkHexFile on a file before trusting what this returns. It sees the file
// only up to its first Ctrl-Z (kEndOfTextMark).
class HexFileReader {
public:
    // Line limit for every read: a record of 255 data bytes is 521 digits,
    // so no record of legal length is ever cut.
    static constexpr std::size_t kLineLimit = 995;
    // Bytes a destination must hold for a read with a given line limit.
    static constexpr std::size_t destinationSize(std::size_t maxChars) { return (maxChars - 2) / 2; }

    HexFileReader() = default;
    HexFileReader(const HexFileReader&) = delete;
    HexFileReader& operator=(const HexFileReader&) = delete;

    // Opens the file and counts its lines; the stream is left at its end.
    bool open(const std::string& utf8Path);
    // Reads the next line, all of it: characters past maxChars - 1 are
    // skipped. Returns the record's byte count, or 0 at the end of the file
    // or for a line that does not begin with ':'.
    std::uint16_t readRecord(std::uint8_t* destination, std::size_t maxChars);
    void rewind();
    void close();

    bool isOpen() const { return stream_ != nullptr; }
    const std::string& path() const { return path_; }

    // Read from the UI thread's timer while the worker reads records.
    std::uint32_t linesTotal() const { return linesTotal_.load(std::memory_order_relaxed); }
    std::uint32_t linesConsumed() const { return linesConsumed_.load(std::memory_order_relaxed); }
    void resetLinesConsumed() { linesConsumed_.store(0, std::memory_order_relaxed); }

private:
    std::uint32_t countLines();
    void skipRestOfLine();

    FilePtr stream_;
    std::string path_;
    // The read that met the end mark was the last one until a rewind.
    bool textEnded_ = false;
    std::atomic<std::uint32_t> linesTotal_{0};
    std::atomic<std::uint32_t> linesConsumed_{0};
    std::array<char, 1000> line_{};
};

} // namespace tarvane
