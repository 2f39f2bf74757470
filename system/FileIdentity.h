#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tarvane {

// What the system knows a file by, whichever path reaches it: the device
// and inode on POSIX, the volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file `path` names, through links; nothing when it does
// not exist or cannot be reached.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path);

// Whether two full, normalised paths are one as the system reads names: on
// Windows without regard to case.
bool samePathName(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace tarvane
