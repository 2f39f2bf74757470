#include "usb/UsbBackend.h"

namespace tarvane {

// A build without hidapi: `usb` addresses find nothing and say why.

std::unique_ptr<ReportPort> openUsbReportPort(const std::string&, std::uint16_t, std::uint16_t,
                                              std::string& detail) {
    detail = "this build has no USB back-end (hidapi was missing when it was built); "
             "use --device sim or tcp:HOST:PORT";
    return nullptr;
}

bool listUsbBootloaders(std::uint16_t, std::uint16_t, std::vector<UsbBootloader>& found, std::string&) {
    found.clear();
    return true;
}

std::string accessDeniedDetail(const std::string& path) {
    return "The bootloader at " + path + " was found, but access to it was denied.";
}

std::string missingUsbBackendNote() { return "This build has no USB back-end (hidapi was missing when it was built)."; }

} // namespace tarvane
