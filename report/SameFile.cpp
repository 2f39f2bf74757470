#include "report/SameFile.h"

#include "firmware/Utf8Path.h"
#include "system/FileIdentity.h"

namespace tarvane {
namespace {

// The full path with "." and ".." resolved and the links of the part that
// exists followed, also a last link to a file not yet made; as written, made
// absolute, when even that fails.
std::filesystem::path fullPath(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return path.lexically_normal();
    // Bounded, as the system bounds a chain of links.
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(std::filesystem::symlink_status(absolute, ec)); ++hops) {
        const std::filesystem::path target = std::filesystem::read_symlink(absolute, ec);
        if (ec) break;
        absolute = absolute.parent_path() / target;
    }
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : resolved;
}

} // namespace

bool sameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    const std::filesystem::path first = pathFromUtf8(a);
    const std::filesystem::path second = pathFromUtf8(b);
    const std::optional<FileIdentity> firstIdentity = fileIdentity(first);
    const std::optional<FileIdentity> secondIdentity = fileIdentity(second);
    if (firstIdentity && secondIdentity) return *firstIdentity == *secondIdentity;
    return samePathName(fullPath(first), fullPath(second));
}

} // namespace tarvane
