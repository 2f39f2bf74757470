#include "startup/SystemName.h"

#include <windows.h>

namespace tarvane {
namespace {

// GetVersionEx answers as the manifest allows; ntdll's own call tells the truth.
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
// Present only under Wine, whose version support wants to know.
using WineVersionFn = const char*(__cdecl*)();

template <typename Fn> Fn ntdllFunction(const char* name) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    // Through void(*)(), as a generic function pointer, free of a function-type warning.
    return ntdll ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, name))) : nullptr;
}

std::string machineName(WORD architecture) {
    switch (architecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return "x64";
    case PROCESSOR_ARCHITECTURE_INTEL: return "x86";
    case PROCESSOR_ARCHITECTURE_ARM64: return "ARM64";
    default: return "unknown machine";
    }
}

} // namespace

std::string systemDescription() {
    std::string text = "Windows";
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const auto rtlGetVersion = ntdllFunction<RtlGetVersionFn>("RtlGetVersion");
    if (rtlGetVersion && rtlGetVersion(&version) == 0) {
        text += " " + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) + "." +
                std::to_string(version.dwBuildNumber);
    }
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    text += " " + machineName(info.wProcessorArchitecture);
    text += sizeof(void*) == 4 ? " (32-bit program)" : " (64-bit program)";
    if (const auto wineVersion = ntdllFunction<WineVersionFn>("wine_get_version")) {
        text += " under Wine ";
        text += wineVersion();
    }
    return text;
}

} // namespace tarvane
