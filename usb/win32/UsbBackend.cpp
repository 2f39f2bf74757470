#include "usb/UsbBackend.h"

#include "usb/win32/BoardMutex.h"
#include "usb/win32/HidDeviceSearch.h"
#include "usb/win32/Win32ReportPort.h"
#include "win32/WideText.h"
#include "win32/Win32Error.h"

#include <array>

namespace tarvane {
namespace {

// HID strings are at most 126 characters; the call takes the size in bytes.
std::string hidString(HidLibrary::GetString query, HANDLE handle) {
    if (query == nullptr || handle == nullptr) return {};
    std::array<wchar_t, 127> text{};
    if (!query(handle, text.data(), static_cast<ULONG>(sizeof(wchar_t) * (text.size() - 1)))) return {};
    return toUtf8(text.data());
}

bool candidatePaths(const std::string& path, std::vector<std::wstring>& paths, std::string& error) {
    const HidLibrary& library = systemHidLibrary();
    if (!library.loaded()) {
        error = library.error();
        hidTrace("hid.dll not loaded: " + error);
        return false;
    }
    hidTrace("hid.dll loaded from " + library.location());
    if (!path.empty()) {
        paths = {toWide(path)};
        return true;
    }
    if (!hidInterfacePaths(library, paths, error)) return false;
    hidTrace(std::to_string(paths.size()) + " HID interface(s) present");
    return true;
}

// Takes the board for this updater alone: its mutex, then the exclusive
// open. Nothing when another holds either; `candidate` then says why.
std::unique_ptr<ReportPort> openForThisUpdater(HidCandidate& candidate) {
    auto mutex = std::make_unique<BoardMutex>(candidate.path);
    if (mutex->state() == BoardMutex::State::InUse) {
        candidate.inUse = true;
        candidate.openError = "in use (its mutex is held)";
        return nullptr;
    }
    ExclusiveDevice device = openHidExclusively(candidate.path);
    if (!device.writeHandle) {
        candidate.openError = win32ErrorText("CreateFileW", device.error);
        candidate.inUse = device.error == ERROR_SHARING_VIOLATION;
        candidate.accessDenied = device.error == ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return std::make_unique<Win32ReportPort>(std::move(device.writeHandle), std::move(device.readHandle),
                                             std::move(mutex));
}

} // namespace

std::unique_ptr<ReportPort> openUsbReportPort(const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail) {
    std::vector<std::wstring> paths;
    if (!candidatePaths(path, paths, detail)) return nullptr;

    std::string nearMiss;
    for (const std::wstring& devicePath : paths) {
        HidCandidate candidate = examineHidDevice(systemHidLibrary(), devicePath);
        const bool match = candidate.matches(vendorId, productId);
        if (match && candidate.opened()) {
            candidate.writeHandle.reset();
            candidate.readHandle.reset();
            if (auto port = openForThisUpdater(candidate)) {
                hidTrace(describeCandidate(candidate) + ": bootloader, kept open");
                return port;
            }
        }
        hidTrace(describeCandidate(candidate) + (match ? ": bootloader, cannot be used" : ": no match") +
                 (candidate.opened() ? ", closed" : ""));
        if (match && nearMiss.empty()) {
            if (candidate.inUse) {
                nearMiss = inUseDetail(toUtf8(devicePath));
            } else if (candidate.accessDenied) {
                nearMiss = accessDeniedDetail(toUtf8(devicePath));
            } else {
                nearMiss = "The bootloader at " + toUtf8(devicePath) +
                           " was found but cannot be opened: " + candidate.openError;
            }
        } else if (!path.empty() && nearMiss.empty()) {
            nearMiss = candidate.openError.empty() ? "No bootloader at " + path + "."
                                                   : "usb:" + path + ": " + candidate.openError;
        }
    }
    detail = nearMiss;
    return nullptr;
}

bool listUsbBootloaders(std::uint16_t vendorId, std::uint16_t productId, std::vector<UsbBootloader>& found,
                        std::string& error) {
    found.clear();
    std::vector<std::wstring> paths;
    if (!candidatePaths({}, paths, error)) return false;

    const HidLibrary& library = systemHidLibrary();
    for (const std::wstring& devicePath : paths) {
        const HidCandidate candidate = examineHidDevice(library, devicePath);
        const bool match = candidate.matches(vendorId, productId);
        hidTrace(describeCandidate(candidate) + (match ? ": bootloader" : ": no match") +
                 (candidate.opened() ? ", closed" : ""));
        if (!match) continue;
        UsbBootloader bootloader;
        bootloader.info.path = toUtf8(devicePath);
        bootloader.info.vendorId = candidate.vendorId;
        bootloader.info.productId = candidate.productId;
        bootloader.info.product = hidString(library.getProductString, candidate.readHandle.get());
        bootloader.info.serial = hidString(library.getSerialNumberString, candidate.readHandle.get());
        bootloader.accessDenied = !candidate.opened() && !candidate.inUse;
        // Where the system lets a held board be opened shared (Wine), its mutex tells.
        bootloader.inUse = candidate.inUse || BoardMutex(devicePath).state() == BoardMutex::State::InUse;
        found.push_back(std::move(bootloader));
    }
    return true;
}

std::string accessDeniedDetail(const std::string& path) {
    return "The bootloader at " + path +
           " was found, but Windows refused access to it: close any other program that uses it, "
           "then unplug and replug the board.";
}

std::string missingUsbBackendNote() { return {}; }

} // namespace tarvane
