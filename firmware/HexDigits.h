#pragma once

#include <array>
#include <cstdint>

namespace tarvane {

// Value of an ASCII hex digit, or 0xFF for any other byte.
inline constexpr std::array<std::uint8_t, 256> kHexValue = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(0xFF);
    for (int c = '0'; c <= '9'; ++c) t[static_cast<unsigned>(c)] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[static_cast<unsigned>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[static_cast<unsigned>(c)] = static_cast<std::uint8_t>(c - 'a' + 10);
    return t;
}();

inline constexpr std::uint8_t hexValue(char c) {
    return kHexValue[static_cast<unsigned char>(c)];
}

} // namespace tarvane
