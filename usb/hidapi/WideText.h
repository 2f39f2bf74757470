#pragma once

#include <string>

namespace tarvane {

// The library's wide strings as UTF-8 (UTF-32 on Linux and macOS, UTF-16 on
// Windows); an invalid code unit becomes U+FFFD. Null gives an empty string.
std::string utf8FromWide(const wchar_t* text);

} // namespace tarvane
