#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace tarvane::fuzz {

// Takes values off the front of a fuzzer's input. Past its end every value is
// zero, so any prefix of an input is still a whole test case.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    std::size_t remaining() const { return size_ - pos_; }

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::uint32_t u32() { return std::uint32_t{u16()} | std::uint32_t{u16()} << 16; }

    // Up to n bytes; fewer at the end of the input.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        n = std::min(n, remaining());
        const std::span<const std::uint8_t> taken(data_ + pos_, n);
        pos_ += n;
        return taken;
    }
    std::span<const std::uint8_t> rest() { return bytes(remaining()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A broken invariant is a finding: abort so that libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void require(bool ok, const char* what) {
    if (!ok) fail(what);
}

} // namespace tarvane::fuzz
