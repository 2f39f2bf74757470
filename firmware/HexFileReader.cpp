#include "firmware/HexFileReader.h"

#include "firmware/HexDigits.h"
#include "firmware/HexRecord.h"

#include <cstdio>
#include <cstring>

namespace tarvane {

bool HexFileReader::open(const std::string& utf8Path) {
    close();
    stream_ = openForReading(utf8Path);
    if (!stream_) {
        path_.clear();
        return false;
    }
    path_ = utf8Path;
    textEnded_ = false;
    linesConsumed_.store(0, std::memory_order_relaxed);
    linesTotal_.store(countLines(), std::memory_order_relaxed);
    return true;
}

// Counts lines, not reads: a long record line is one line of progress.
std::uint32_t HexFileReader::countLines() {
    std::array<char, 64 * 1024> block{};
    std::uint32_t lines = 0;
    char last = '\n';
    for (bool ended = false; !ended;) {
        std::size_t got = std::fread(block.data(), 1, block.size(), stream_.get());
        if (got == 0) break;
        if (const void* mark = std::memchr(block.data(), kEndOfTextMark, got)) {
            got = static_cast<std::size_t>(static_cast<const char*>(mark) - block.data());
            ended = true;
            if (got == 0) break;
        }
        for (std::size_t i = 0; i < got; ++i) {
            if (block[i] == '\n') ++lines;
        }
        last = block[got - 1];
    }
    if (last != '\n') ++lines; // a last line without its newline
    return lines;
}

std::uint16_t HexFileReader::readRecord(std::uint8_t* destination, std::size_t maxChars) {
    if (!stream_ || maxChars < 2) return 0;
    if (maxChars > line_.size()) maxChars = line_.size();
    if (textEnded_ || std::feof(stream_.get())) return 0;
    // Only a read that fills the buffer puts its terminator here.
    line_[maxChars - 1] = '\n';
    if (!std::fgets(line_.data(), static_cast<int>(maxChars), stream_.get())) return 0;
    const bool lineGoesOn = line_[maxChars - 1] == '\0' && line_[maxChars - 2] != '\n';
    if (char* mark = std::strchr(line_.data(), kEndOfTextMark)) {
        *mark = '\0';
        textEnded_ = true;
    }
    if (lineGoesOn && !textEnded_) skipRestOfLine();
    if (line_[0] != ':') return 0;

    const std::size_t capacity = destinationSize(maxChars);
    std::size_t count = 0;
    const char* p = line_.data() + 1;
    // Blanks after the last digit end the record like the line end does.
    const auto ends = [](char c) { return c == '\0' || c == '\r' || c == '\n' || c == ' ' || c == '\t'; };
    while (count < capacity && !ends(p[0]) && !ends(p[1])) {
        // A pair that is not two digits gives 0; checkHexFile refuses such files.
        const std::uint8_t hi = hexValue(p[0]);
        const std::uint8_t lo = hexValue(p[1]);
        destination[count++] = (hi | lo) > 0x0F ? 0 : static_cast<std::uint8_t>(hi << 4 | lo);
        p += 2;
    }
    linesConsumed_.store(linesConsumed_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return static_cast<std::uint16_t>(count);
}

// What a line holds past the limit of a read (blanks after a record, in a
// file that passed its check) belongs to that line: handed out as a line of
// its own, it would end the records there.
void HexFileReader::skipRestOfLine() {
    for (int c = std::getc(stream_.get()); c != EOF && c != '\n'; c = std::getc(stream_.get())) {
        if (c == static_cast<unsigned char>(kEndOfTextMark)) {
            textEnded_ = true;
            return;
        }
    }
}

void HexFileReader::rewind() {
    textEnded_ = false;
    if (stream_) std::rewind(stream_.get());
}

void HexFileReader::close() {
    stream_.reset();
}

} // namespace tarvane
