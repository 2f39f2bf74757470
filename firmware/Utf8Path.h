#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvane {

// The program names files in UTF-8. These two are where such a name becomes
// the system's path and back: on Windows the standard library converts to and
// from UTF-16 file names, so any name opens, not only those the ANSI code page
// can spell; elsewhere the bytes pass unchanged.
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const std::filesystem::path& path);

} // namespace tarvane
