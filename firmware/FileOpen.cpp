#include "firmware/FileOpen.h"

#include "firmware/Utf8Path.h"

#include <cerrno>
#include <cstring>

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

bool readWholeFile(const std::string& utf8Path, std::string& text, std::string& error) {
    errno = 0;
    const FilePtr file = openForReading(utf8Path);
    if (!file) {
        error = std::string("cannot open it: ") + (errno != 0 ? std::strerror(errno) : "no such file");
        return false;
    }
    text.clear();
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
    if (std::ferror(file.get())) {
        error = "cannot read it";
        return false;
    }
    return true;
}

} // namespace tarvane
