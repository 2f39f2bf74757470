#include "app/qt/DeviceSetup.h"

#include "app/DialogMain.h"
#include "usb/DeviceAddress.h"
#include "usb/PortFactory.h"

namespace tarvane {

std::string useDeviceAddress(DialogMain& dialog, const char* address) {
    const std::string text = address && *address ? address : "usb";
    std::string error;
    if (const std::optional<DeviceAddress> parsed = parseDeviceAddress(text, error)) {
        dialog.m_link.device.setBackend(*parsed, openReportPort);
        return {};
    }
    const std::string reason = "TARVANE_DEVICE: " + error;
    dialog.m_link.device.setBackend(DeviceAddress{},
                                    [reason](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string& detail) {
                                        detail = reason;
                                        return std::unique_ptr<ReportPort>();
                                    });
    return reason;
}

} // namespace tarvane
