#include "usb/UsbBackend.h"
#include "usb/hidapi/HidSearch.h"

#include "usb/hidapi/SystemHidApi.h"

namespace tarvane {

std::unique_ptr<ReportPort> openUsbReportPort(const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail) {
    const auto api = openSystemHidApi(detail);
    if (!api) return nullptr;
    return openHidBootloader(*api, path, vendorId, productId, detail);
}

bool listUsbBootloaders(std::uint16_t vendorId, std::uint16_t productId, std::vector<UsbBootloader>& found,
                        std::string& error) {
    const auto api = openSystemHidApi(error);
    if (!api) return false;
    found = listHidBootloaders(*api, vendorId, productId);
    return true;
}

std::string accessDeniedDetail(const std::string& path) {
    return "The bootloader at " + path +
           " was found, but access to it was denied: install the udev rule as /etc/udev/rules.d/" + kUdevRuleName +
           ", run \"sudo udevadm control --reload\", then unplug and replug the board.";
}

std::string missingUsbBackendNote() { return {}; }

} // namespace tarvane
