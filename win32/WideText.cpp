#include "win32/WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <memory>

namespace tarvane {

std::wstring toWide(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int n = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, wide.data(), needed);
    return wide;
}

std::string toUtf8(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX) return {};
    const int n = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

std::vector<std::string> utf8CommandLine() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> args{CommandLineToArgvW(GetCommandLineW(), &count),
                                                             &LocalFree};
    std::vector<std::string> result;
    if (!args) return result;
    for (int i = 0; i < count; ++i) result.push_back(toUtf8(args.get()[i]));
    return result;
}

} // namespace tarvane
