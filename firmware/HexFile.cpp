#include "firmware/HexFile.h"

#include "firmware/FileOpen.h"
#include "firmware/HexRecord.h"
#include "firmware/Utf8Path.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace tarvane {
namespace {

enum class ReadEnd { Whole, Unopened, Failed, LineRunsOn, TooLarge };

// Tracks the length of the line being read, up to the first Ctrl-Z, to stop
// the reading at a line that no record can be.
class LineLength {
public:
    // False once a line has run past kLongestCheckedLine characters.
    bool feed(const char* data, std::size_t size) {
        if (ended_) return true;
        if (const void* mark = std::memchr(data, kEndOfTextMark, size)) {
            size = static_cast<std::size_t>(static_cast<const char*>(mark) - data);
            ended_ = true;
        }
        const char* const end = data + size;
        for (const char* at = data; at < end;) {
            const auto* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            length_ += static_cast<std::size_t>((newline ? newline : end) - at);
            if (length_ > kLongestCheckedLine) return false;
            if (!newline) break;
            length_ = 0;
            at = newline + 1;
        }
        return true;
    }

private:
    std::size_t length_ = 0;
    bool ended_ = false;
};

ReadEnd readBytes(const std::string& utf8Path, std::size_t limit, std::string& bytes, int& openError, bool& regular) {
    errno = 0;
    const FilePtr file = openForReading(utf8Path);
    if (!file) {
        openError = errno;
        return ReadEnd::Unopened;
    }
    // A regular file is held in one allocation of its size.
    std::error_code ec;
    const auto size = std::filesystem::file_size(pathFromUtf8(utf8Path), ec);
    regular = !ec;
    if (regular && size <= limit) bytes.reserve(static_cast<std::size_t>(size));
    LineLength line;
    std::array<char, 64 * 1024> block{};
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0) break;
        if (bytes.size() + got > limit) {
            std::string().swap(bytes);
            return ReadEnd::TooLarge;
        }
        bytes.append(block.data(), got);
        if (!line.feed(block.data(), got)) return ReadEnd::LineRunsOn;
    }
    if (!std::ferror(file.get())) return ReadEnd::Whole;
    std::string().swap(bytes);
    return ReadEnd::Failed;
}

} // namespace

std::shared_ptr<const HexFile> loadHexFile(const std::string& utf8Path, std::size_t limit) {
    auto file = std::make_shared<HexFile>();
    file->path = utf8Path;
    std::string bytes;
    int openError = 0;
    const ReadEnd end = readBytes(utf8Path, limit, bytes, openError, file->regular);
    file->bytes = std::make_shared<const std::string>(std::move(bytes));
    HexCheckResult& check = file->check;
    switch (end) {
    case ReadEnd::Whole:
    case ReadEnd::LineRunsOn:
        // A line that runs on is judged by its start, as in the whole text.
        check = checkHexText(*file->bytes);
        if (end == ReadEnd::LineRunsOn) file->readError = "not read to its end: a line is longer than any record";
        break;
    case ReadEnd::Unopened:
        file->readError = std::string("cannot open it: ") + (openError != 0 ? std::strerror(openError) : "no such file");
        check.reason = "cannot open " + utf8Path + (openError != 0 ? std::string(": ") + std::strerror(openError) : "");
        break;
    case ReadEnd::Failed:
        file->readError = "cannot read it";
        check.reason = "cannot read " + utf8Path;
        break;
    case ReadEnd::TooLarge: {
        const bool mebibytes = limit % (std::size_t{1} << 20) == 0;
        const std::string larger = "it is larger than " + std::to_string(mebibytes ? limit >> 20 : limit) +
                                   (mebibytes ? " MiB" : " bytes");
        file->readError = "cannot read it: " + larger;
        check.reason = "cannot read " + utf8Path + ": " + larger + ", far more than a board's firmware";
        break;
    }
    }
    if (end != ReadEnd::Whole && end != ReadEnd::LineRunsOn) check.unreadable = true;
    return file;
}

std::shared_ptr<const HexFile> reloadHexFile(const std::shared_ptr<const HexFile>& file) {
    return file->regular ? loadHexFile(file->path) : file;
}

} // namespace tarvane
