#include "win32/Win32Error.h"

#include "win32/WideText.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace tarvane {

std::string win32ErrorText(const char* operation, unsigned long code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%lX", code);
    std::string text = std::string(operation) + ": (" + hex + ")";

    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned{buffer, &LocalFree};
    if (n > 0 && buffer != nullptr) {
        std::string message = toUtf8(std::wstring_view(buffer, n));
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
            message.pop_back();
        }
        if (!message.empty()) text += " " + message;
    }
    return text;
}

} // namespace tarvane
