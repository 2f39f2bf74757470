#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tarvane {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file named by a UTF-8 path for binary reading. On Windows the path
// goes through the wide-character API so that any name opens, not only those
// the active code page can spell.
FilePtr openForReading(const std::string& utf8Path);

} // namespace tarvane
