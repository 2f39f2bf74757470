#include "usb/hidapi/HidSearch.h"

#include "usb/hidapi/HidReportPort.h"

#include <algorithm>

namespace tarvane {

std::vector<UsbBootloader> listHidBootloaders(HidApi& api, std::uint16_t vendorId, std::uint16_t productId) {
    std::vector<UsbBootloader> found;
    for (HidDeviceInfo& info : api.enumerate(vendorId, productId)) {
        // Platforms differ in how strictly they filter, so check the IDs here too;
        // one interface can also be listed once per top-level collection.
        if (info.vendorId != vendorId || info.productId != productId) continue;
        const bool seen = std::any_of(found.begin(), found.end(),
                                      [&](const UsbBootloader& b) { return b.info.path == info.path; });
        if (seen) continue;
        const bool denied = api.accessDenied(info.path);
        found.push_back({std::move(info), denied});
    }
    return found;
}

std::unique_ptr<ReportPort> openHidBootloader(HidApi& api, const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail) {
    detail.clear();
    std::vector<UsbBootloader> candidates;
    for (UsbBootloader& b : listHidBootloaders(api, vendorId, productId)) {
        if (path.empty() || b.info.path == path) candidates.push_back(std::move(b));
    }
    if (candidates.empty()) {
        // Never open a path that is not a bootloader: our frames could upset another device.
        if (!path.empty())
            detail = "no bootloader is connected at " + path + "; tarvane-update --list shows the connected ones";
        return nullptr;
    }

    std::string deniedPath;
    std::string failure;
    // Like a search that skips an interface it cannot open, go on to the next one.
    for (const UsbBootloader& b : candidates) {
        if (auto connection = api.open(b.info.path)) return std::make_unique<HidReportPort>(std::move(connection));
        if (api.accessDenied(b.info.path)) {
            if (deniedPath.empty()) deniedPath = b.info.path;
        } else if (failure.empty()) {
            failure = "the bootloader at " + b.info.path + " was found but could not be opened: " + api.error();
        }
    }
    detail = deniedPath.empty() ? failure : accessDeniedDetail(deniedPath);
    return nullptr;
}

} // namespace tarvane
