#include "system/FileIdentity.h"

#include <sys/stat.h>

namespace tarvane {

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool samePathName(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.native() == b.native();
}

} // namespace tarvane
