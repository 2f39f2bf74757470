#pragma once

#include <string>

namespace tarvane {

// Whether two UTF-8 paths name one file, by whatever path: a link, "..", a
// relative path, and on Windows letter case. Where both exist the system's
// identity of the file decides (so hard links count too); otherwise their
// full paths, through whatever links exist, are compared. Empty paths name
// no file.
bool sameFile(const std::string& a, const std::string& b);

} // namespace tarvane
