#include "app/win32/DeviceSetup.h"

#include "app/DialogMain.h"
#include "usb/DeviceAddress.h"
#include "usb/PortFactory.h"
#include "usb/win32/WideText.h"

#include <cstdlib>

namespace tarvane {

std::string useDeviceAddress(DialogMain& dialog, const std::string& address) {
    return useDeviceAddress(dialog.m_link.device, address);
}

std::string environmentVariable(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? toUtf8(value) : std::string();
}

} // namespace tarvane
