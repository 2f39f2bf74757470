#include "app/win32/DeviceSetup.h"

#include "app/DialogMain.h"
#include "usb/DeviceAddress.h"
#include "usb/PortFactory.h"
#include "usb/win32/WideText.h"

#include <cstdlib>

namespace tarvane {

std::string useDeviceAddress(DialogMain& dialog, const std::string& address) {
    const std::string text = address.empty() ? "usb" : address;
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

std::string environmentVariable(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? toUtf8(value) : std::string();
}

} // namespace tarvane
