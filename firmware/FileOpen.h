#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tarvane {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Open a file named by a UTF-8 path, in binary mode; any name opens, on
// Windows too (see Utf8Path.h). Nothing for an empty path; errno says why
// an open failed.
FilePtr openForReading(const std::string& utf8Path);
// Creates the file, or empties it.
FilePtr openForWriting(const std::string& utf8Path);

// The whole file in `text`; false with "cannot open it: REASON" or "cannot
// read it" in `error`.
bool readWholeFile(const std::string& utf8Path, std::string& text, std::string& error);

} // namespace tarvane
