#include "firmware/FileOpen.h"

#include "firmware/Utf8Path.h"

namespace tarvane {
namespace {

FilePtr openBinary(const std::string& utf8Path, bool write) {
    if (utf8Path.empty()) return nullptr;
    const std::filesystem::path path = pathFromUtf8(utf8Path);
#ifdef _WIN32
    // The C runtime's narrow fopen reads names in the ANSI code page; its wide
    // twin takes the UTF-16 name that the path holds on Windows.
    return FilePtr(_wfopen(path.c_str(), write ? L"wb" : L"rb"));
#else
    return FilePtr(std::fopen(path.c_str(), write ? "wb" : "rb"));
#endif
}

} // namespace

FilePtr openForReading(const std::string& utf8Path) { return openBinary(utf8Path, false); }

FilePtr openForWriting(const std::string& utf8Path) { return openBinary(utf8Path, true); }

} // namespace tarvane
