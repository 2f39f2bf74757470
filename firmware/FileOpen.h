#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tarvane {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file named by a UTF-8 path for binary reading; any name opens, on
// Windows too (see Utf8Path.h).
FilePtr openForReading(const std::string& utf8Path);

} // namespace tarvane
