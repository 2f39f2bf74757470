#include "usb/win32/HidLibrary.h"

#include "win32/WideText.h"
#include "win32/Win32Error.h"

#include <array>

namespace tarvane {
namespace {

// GetProcAddress hands out a generic pointer; going through void(*)() keeps
// the cast to the real signature free of a function-type warning.
template <class Function>
Function entryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::wstring systemCopy() {
    std::array<wchar_t, MAX_PATH> folder{};
    const UINT n = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (n == 0 || n >= folder.size()) return L"C:\\Windows\\System32\\hid.dll";
    return std::wstring(folder.data(), n) + L"\\hid.dll";
}

std::string modulePath(HMODULE module) {
    std::array<wchar_t, MAX_PATH> path{};
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    return toUtf8(std::wstring_view(path.data(), n));
}

} // namespace

HidLibrary::HidLibrary() {
    // Only the system's copy: a bare name would first find any hid.dll lying
    // beside the program, in a downloads folder for instance.
    module_ = UniqueModule(LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!module_) {
        // Systems without that search flag refuse the call; name the file in full.
        const std::wstring fallback = systemCopy();
        module_ = UniqueModule(LoadLibraryW(fallback.c_str()));
    }
    if (!module_) {
        error_ = win32ErrorText("LoadLibraryW(hid.dll)", GetLastError());
        return;
    }
    location_ = modulePath(module_.get());
    getHidGuid = entryPoint<GetHidGuid>(module_.get(), "HidD_GetHidGuid");
    getAttributes = entryPoint<GetAttributes>(module_.get(), "HidD_GetAttributes");
    getProductString = entryPoint<GetString>(module_.get(), "HidD_GetProductString");
    getSerialNumberString = entryPoint<GetString>(module_.get(), "HidD_GetSerialNumberString");
    if (!loaded()) error_ = "hid.dll lacks HidD_GetHidGuid or HidD_GetAttributes";
}

const HidLibrary& systemHidLibrary() {
    static const HidLibrary library;
    return library;
}

} // namespace tarvane
