#include "firmware/FileOpen.h"

#ifdef _WIN32
#include <filesystem>
#endif

namespace tarvane {

FilePtr openForReading(const std::string& utf8Path) {
    if (utf8Path.empty()) return nullptr;
#ifdef _WIN32
    const std::u8string u8(utf8Path.begin(), utf8Path.end());
    const std::filesystem::path path(u8);
    return FilePtr(_wfopen(path.c_str(), L"rb"));
#else
    return FilePtr(std::fopen(utf8Path.c_str(), "rb"));
#endif
}

} // namespace tarvane
