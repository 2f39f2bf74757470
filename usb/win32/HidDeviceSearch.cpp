#include "usb/win32/HidDeviceSearch.h"

#include "win32/WideText.h"
#include "win32/Win32Error.h"

#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tarvane {
namespace {

struct DeviceInfoSetTraits {
    using Value = HDEVINFO;
    static Value empty() { return INVALID_HANDLE_VALUE; }
    static bool valid(Value h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void release(Value h) { SetupDiDestroyDeviceInfoList(h); }
};
using DeviceInfoSet = UniqueWin32<DeviceInfoSetTraits>;

UniqueHandle openDevice(const std::wstring& path, DWORD access, DWORD flags) {
    return UniqueHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    flags, nullptr));
}

bool readAttributes(const HidLibrary& library, HANDLE handle, HidCandidate& candidate) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!library.getAttributes(handle, &attributes)) return false;
    candidate.vendorId = attributes.VendorID;
    candidate.productId = attributes.ProductID;
    candidate.attributesRead = true;
    return true;
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

} // namespace

bool hidInterfacePaths(const HidLibrary& library, std::vector<std::wstring>& paths, std::string& error) {
    paths.clear();
    if (!library.loaded()) {
        error = library.error();
        return false;
    }
    GUID hidGuid{};
    library.getHidGuid(&hidGuid);

    const DeviceInfoSet set(SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) {
        error = win32ErrorText("SetupDiGetClassDevsW", GetLastError());
        return false;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, index, &interfaceData)) break;

        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        // Whole DWORDs keep the detail structure aligned.
        const auto storage = std::make_unique<DWORD[]>(required / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.get());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, required, nullptr, nullptr)) continue;
        paths.emplace_back(detail->DevicePath);
    }
    return true;
}

HidCandidate examineHidDevice(const HidLibrary& library, const std::wstring& path) {
    HidCandidate candidate;
    candidate.path = path;
    if (!library.loaded()) return candidate;

    candidate.writeHandle = openDevice(path, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    const DWORD writeError = candidate.writeHandle ? ERROR_SUCCESS : GetLastError();
    candidate.readHandle = openDevice(path, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    const DWORD readError = candidate.readHandle ? ERROR_SUCCESS : GetLastError();

    if (candidate.opened()) {
        // A device whose IDs cannot be read does not match.
        if (!readAttributes(library, candidate.readHandle.get(), candidate)) {
            candidate.writeHandle.reset();
            candidate.readHandle.reset();
        }
        return candidate;
    }

    const DWORD error = writeError != ERROR_SUCCESS ? writeError : readError;
    candidate.openError = win32ErrorText("CreateFileW", error);
    candidate.accessDenied = error == ERROR_ACCESS_DENIED;
    candidate.inUse = error == ERROR_SHARING_VIOLATION;
    candidate.writeHandle.reset();
    candidate.readHandle.reset();
    const UniqueHandle query = openDevice(path, 0, 0);
    if (query) readAttributes(library, query.get(), candidate);
    return candidate;
}

ExclusiveDevice openHidExclusively(const std::wstring& path) {
    ExclusiveDevice device;
    device.writeHandle = UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!device.writeHandle) {
        device.error = GetLastError();
        return device;
    }
    HANDLE duplicate = nullptr;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, device.writeHandle.get(), self, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        device.error = GetLastError();
        device.writeHandle.reset();
        return device;
    }
    device.readHandle = UniqueHandle(duplicate);
    return device;
}

bool hidTraceEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("TARVANE_HID_TRACE");
        return value != nullptr && *value != '\0' && *value != '0';
    }();
    return enabled;
}

void hidTrace(const std::string& line) {
    if (!hidTraceEnabled()) return;
    std::fprintf(stderr, "hid: %s\n", line.c_str());
    std::fflush(stderr);
}

std::string describeCandidate(const HidCandidate& candidate) {
    std::string text = toUtf8(candidate.path) + ": ";
    text += candidate.openError.empty() ? "opened" : "not opened (" + candidate.openError + ")";
    if (candidate.attributesRead) {
        text += ", vendor " + hex4(candidate.vendorId) + " product " + hex4(candidate.productId);
    } else {
        text += ", IDs unreadable";
    }
    return text;
}

} // namespace tarvane
