#pragma once

#include <windows.h>

#include <utility>

namespace tarvane {

// Owns one Windows object and releases it exactly once. `Traits` names the
// empty value(s) and the release call.
template <class Traits>
class UniqueWin32 {
public:
    using Value = typename Traits::Value;

    UniqueWin32() = default;
    explicit UniqueWin32(Value value) : value_(Traits::valid(value) ? value : Traits::empty()) {}
    ~UniqueWin32() { reset(); }
    UniqueWin32(UniqueWin32&& other) noexcept : value_(std::exchange(other.value_, Traits::empty())) {}
    UniqueWin32& operator=(UniqueWin32&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, Traits::empty());
        }
        return *this;
    }
    UniqueWin32(const UniqueWin32&) = delete;
    UniqueWin32& operator=(const UniqueWin32&) = delete;

    Value get() const { return value_; }
    explicit operator bool() const { return Traits::valid(value_); }
    void reset() {
        if (Traits::valid(value_)) Traits::release(value_);
        value_ = Traits::empty();
    }

private:
    Value value_ = Traits::empty();
};

struct HandleTraits {
    using Value = HANDLE;
    static Value empty() { return nullptr; }
    static bool valid(Value h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void release(Value h) { CloseHandle(h); }
};

struct ModuleTraits {
    using Value = HMODULE;
    static Value empty() { return nullptr; }
    static bool valid(Value h) { return h != nullptr; }
    static void release(Value h) { FreeLibrary(h); }
};

struct BitmapTraits {
    using Value = HBITMAP;
    static Value empty() { return nullptr; }
    static bool valid(Value h) { return h != nullptr; }
    static void release(Value h) { DeleteObject(h); }
};

struct FontTraits {
    using Value = HFONT;
    static Value empty() { return nullptr; }
    static bool valid(Value h) { return h != nullptr; }
    static void release(Value h) { DeleteObject(h); }
};

struct MenuTraits {
    using Value = HMENU;
    static Value empty() { return nullptr; }
    static bool valid(Value h) { return h != nullptr; }
    static void release(Value h) { DestroyMenu(h); }
};

using UniqueHandle = UniqueWin32<HandleTraits>;
using UniqueModule = UniqueWin32<ModuleTraits>;
using UniqueBitmap = UniqueWin32<BitmapTraits>;
using UniqueMenu = UniqueWin32<MenuTraits>;
using UniqueFont = UniqueWin32<FontTraits>;

} // namespace tarvane
