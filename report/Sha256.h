#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvane {

// SHA-256 (FIPS 180-4), fed in pieces of any size; the Windows build is
// static and links no crypto library, so it is written here.
class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void update(const std::uint8_t* data, std::size_t size);
    void update(std::string_view text) { update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); }
    // The digest of everything fed; the object is spent afterwards.
    Digest finish();

private:
    void block(const std::uint8_t* data);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// 64 lowercase hex digits.
std::string hexDigest(const Sha256::Digest& digest);

} // namespace tarvane
