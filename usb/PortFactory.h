#pragma once

#include "usb/DeviceAddress.h"
#include "usb/HidBootDevice.h"
#include "usb/ReportPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

// Opens the back-end a device address names; the PortOpener every front end
// gives its HidBootDevice. Nothing with a plain `detail` when nothing opens.
std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, std::uint16_t vendorId,
                                           std::uint16_t productId, std::string& detail);

// Lets a back-end outside usb/ serve one kind of address, replacing what
// served it before (an empty opener serves nothing): the simulated board
// registers `sim` this way (registerSimulatedBoardPort in sim/), so usb/
// need not know it. Until then that address opens nothing, with a plain detail.
void registerPortOpener(DeviceAddress::Kind kind, PortOpener opener);

// The device an address a user typed names (TARVANE_DEVICE; empty means
// usb). An address that does not parse gives a device that is never found,
// whose search says why, and that reason in `error`.
struct DeviceChoice {
    DeviceAddress address;
    PortOpener opener;
    std::string error;
};
DeviceChoice chooseDevice(const std::string& text);

// Points a window or a link (anything with useDevice) at the device `text`
// names. Returns why the address does not parse, empty when it was good.
template <class Target>
std::string useDeviceAddress(Target& target, const char* text) {
    DeviceChoice choice = chooseDevice(text ? text : "");
    target.useDevice(std::move(choice.address), std::move(choice.opener));
    return choice.error;
}
template <class Target>
std::string useDeviceAddress(Target& target, const std::string& text) {
    return useDeviceAddress(target, text.c_str());
}

} // namespace tarvane
