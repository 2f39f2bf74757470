#pragma once

#include "win32/Win32Handles.h"

#include <windows.h>

// mingw's hidsdi.h declares C functions without a C++ guard of its own.
extern "C" {
#include <hidsdi.h>
}

#include <string>

namespace tarvane {

// The system's HID library, loaded at run time from the system folder. Its
// optional string queries only serve the listing.
class HidLibrary {
public:
    using GetHidGuid = void(__stdcall*)(GUID*);
    using GetAttributes = BOOLEAN(__stdcall*)(HANDLE, PHIDD_ATTRIBUTES);
    using GetString = BOOLEAN(__stdcall*)(HANDLE, PVOID, ULONG);

    HidLibrary();
    HidLibrary(const HidLibrary&) = delete;
    HidLibrary& operator=(const HidLibrary&) = delete;

    bool loaded() const { return getHidGuid != nullptr && getAttributes != nullptr; }
    // Why the library is missing, when it is.
    const std::string& error() const { return error_; }
    // Where it was loaded from, for the trace.
    const std::string& location() const { return location_; }

    GetHidGuid getHidGuid = nullptr;
    GetAttributes getAttributes = nullptr;
    GetString getProductString = nullptr;
    GetString getSerialNumberString = nullptr;

private:
    UniqueModule module_;
    std::string error_;
    std::string location_;
};

// Loaded once for the process, on first use.
const HidLibrary& systemHidLibrary();

} // namespace tarvane
