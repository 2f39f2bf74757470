#include "app/qt/DeviceSetup.h"

#include "app/DialogMain.h"
#include "usb/DeviceAddress.h"
#include "usb/PortFactory.h"

namespace tarvane {

std::string useDeviceAddress(DialogMain& dialog, const char* address) {
    return useDeviceAddress(dialog.m_link.device, address ? address : "");
}

} // namespace tarvane
