#include "usb/win32/BoardMutex.h"

#include <cstdint>
#include <cwctype>

namespace tarvane {

std::wstring boardMutexName(const std::wstring& devicePath) {
    // FNV-1a, 64 bits, over the path in lower case.
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : devicePath) {
        hash ^= static_cast<std::uint64_t>(std::towlower(static_cast<wint_t>(c)));
        hash *= 1099511628211ull;
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring name = L"Global\\tarvane-board-";
    for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
    return name;
}

BoardMutex::BoardMutex(const std::wstring& devicePath) {
    handle_ = UniqueHandle(CreateMutexW(nullptr, FALSE, boardMutexName(devicePath).c_str()));
    if (!handle_) {
        // Another user's mutex: its holder is updating the board.
        state_ = GetLastError() == ERROR_ACCESS_DENIED ? State::InUse : State::Unavailable;
        return;
    }
    switch (WaitForSingleObject(handle_.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // its holder ended without letting go
        state_ = State::Held;
        return;
    case WAIT_TIMEOUT:
        state_ = State::InUse;
        break;
    default:
        state_ = State::Unavailable;
        break;
    }
    handle_.reset();
}

BoardMutex::~BoardMutex() {
    if (state_ == State::Held) ReleaseMutex(handle_.get());
}

} // namespace tarvane
