#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvane {

// The one place where UTF-8 (inside the program) meets UTF-16 (the Windows
// API). An invalid sequence becomes U+FFFD rather than failing the call.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

// The process's own command line, split as the C runtime would split it and
// converted to UTF-8, so that arguments outside the ANSI code page survive.
std::vector<std::string> utf8CommandLine();

} // namespace tarvane
