#include "usb/hidapi/WideText.h"

#include <cstdint>
#include <type_traits>

namespace tarvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(static_cast<unsigned char>(byte))); };
    if (cp < 0x80) {
        put(cp);
    } else if (cp < 0x800) {
        put(0xC0 | (cp >> 6));
        put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        put(0xE0 | (cp >> 12));
        put(0x80 | ((cp >> 6) & 0x3F));
        put(0x80 | (cp & 0x3F));
    } else {
        put(0xF0 | (cp >> 18));
        put(0x80 | ((cp >> 12) & 0x3F));
        put(0x80 | ((cp >> 6) & 0x3F));
        put(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string utf8FromWide(const wchar_t* text) {
    std::string out;
    if (text == nullptr) return out;
    for (const wchar_t* p = text; *p != 0; ++p) {
        auto unit = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(*p));
        if constexpr (sizeof(wchar_t) == 2) {
            // A surrogate pair only counts when both halves are there, in order.
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                const auto low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(p[1]));
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    ++p;
                }
            }
        }
        appendUtf8(out, unit);
    }
    return out;
}

} // namespace tarvane
