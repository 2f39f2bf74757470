#include "firmware/FileOpen.h"

#include "firmware/Utf8Path.h"

namespace tarvane {
namespace {

#ifdef _WIN32
// The C runtime's narrow fopen reads names in the ANSI code page; its wide
// twin takes the UTF-16 name that the path holds on Windows.
std::FILE* openBinary(const wchar_t* name) { return _wfopen(name, L"rb"); }
#else
std::FILE* openBinary(const char* name) { return std::fopen(name, "rb"); }
#endif

} // namespace

FilePtr openForReading(const std::string& utf8Path) {
    if (utf8Path.empty()) return nullptr;
    return FilePtr(openBinary(pathFromUtf8(utf8Path).c_str()));
}

} // namespace tarvane
