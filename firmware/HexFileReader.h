#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tarvane {

// Hands out the records of an Intel HEX file one line at a time, as the raw
// bytes the line's digit pairs spell. It does not interpret records; check a
// file's text before trusting what this returns. It reads the bytes of a file
// read once (see HexFile.h) and sees them only up to their first Ctrl-Z
// (kEndOfTextMark).
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

    // Holds the file's bytes and counts their lines; the reader is left at
    // their end. False, and nothing held, for no bytes at all.
    bool open(std::shared_ptr<const std::string> bytes);
    // Reads the next line, all of it: characters past maxChars - 1 are
    // ignored. Returns the record's byte count, or 0 at the end of the text
    // or for a line that does not begin with ':'.
    std::uint16_t readRecord(std::uint8_t* destination, std::size_t maxChars);
    void rewind() { position_ = 0; }
    void close();

    bool isOpen() const { return bytes_ != nullptr; }

    // Read from the UI thread's timer while the worker reads records.
    std::uint32_t linesTotal() const { return linesTotal_.load(std::memory_order_relaxed); }
    std::uint32_t linesConsumed() const { return linesConsumed_.load(std::memory_order_relaxed); }
    void resetLinesConsumed() { linesConsumed_.store(0, std::memory_order_relaxed); }

private:
    std::shared_ptr<const std::string> bytes_;
    // The text: the bytes up to their first Ctrl-Z.
    std::string_view text_;
    std::size_t position_ = 0;
    std::atomic<std::uint32_t> linesTotal_{0};
    std::atomic<std::uint32_t> linesConsumed_{0};
};

} // namespace tarvane
