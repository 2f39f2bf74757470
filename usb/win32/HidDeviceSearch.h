#pragma once

#include "usb/win32/HidLibrary.h"
#include "win32/Win32Handles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvane {

// One HID interface as the search met it: both handles when it opened,
// its IDs when they could be read.
struct HidCandidate {
    std::wstring path;
    UniqueHandle writeHandle; // overlapped, for output reports
    UniqueHandle readHandle;  // overlapped, for input reports
    bool attributesRead = false;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // Why the two handles could not be opened; empty when they were.
    std::string openError;
    bool accessDenied = false;
    // Another program holds it opened for itself alone.
    bool inUse = false;

    bool opened() const { return static_cast<bool>(writeHandle) && static_cast<bool>(readHandle); }
    bool matches(std::uint16_t vendor, std::uint16_t product) const {
        return attributesRead && vendorId == vendor && productId == product;
    }
};

// The device paths of every present HID interface, in the system's order.
// False, with `error`, when the system cannot enumerate them.
bool hidInterfacePaths(const HidLibrary& library, std::vector<std::wstring>& paths, std::string& error);

// Opens the path twice with read and write access, shared, and reads the IDs
// on the read handle. A device that refuses both handles is still asked for its IDs
// through a query-only handle, so that a bootloader in use elsewhere can be
// named instead of silently missed.
HidCandidate examineHidDevice(const HidLibrary& library, const std::wstring& path);

// The device opened for this process alone (no read or write sharing), so
// that no other program can open it while an update runs: one overlapped
// handle and a duplicate of it for reads, which a second open of our own
// would not get past the sharing. Without handles, `error` holds the
// system's code; ERROR_SHARING_VIOLATION means another program has it open.
struct ExclusiveDevice {
    UniqueHandle writeHandle;
    UniqueHandle readHandle;
    unsigned long error = 0;
};
ExclusiveDevice openHidExclusively(const std::wstring& path);

// TARVANE_HID_TRACE=1 prints each device examined, opened and closed on
// standard error, to diagnose a search that finds nothing.
bool hidTraceEnabled();
void hidTrace(const std::string& line);
std::string describeCandidate(const HidCandidate& candidate);

} // namespace tarvane
