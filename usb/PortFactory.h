#pragma once

#include "usb/DeviceAddress.h"
#include "usb/PortOpener.h"
#include "usb/ReportPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

// How a device address becomes a port, for every front end and test program:
//
//   "usb", "tcp:HOST:PORT", "sim"  -- parseDeviceAddress (usb/DeviceAddress.h),
//                                     or chooseDevice below for TARVANE_DEVICE
//   openReportPort, by the address's kind:
//     usb  -> openUsbReportPort (usb/UsbBackend.h): the one back-end CMake
//             built, usb/hidapi, usb/win32 or, without either, usb/none
//     tcp  -> openTcpReportPort (usb/tcp)
//     sim  -> the opener the start-up hands in (setSimulatedBoardOpener):
//             usb/ does not know the simulated board
//   the port, wrapped by the trace's decorators (trace/TracingPort.h) where a
//   trace file or a support report's recorder listens
//   HidBootDevice, which the link reads and writes through.
//
// The opener of every address: nothing, with a plain `detail`, when nothing opens.
std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, std::uint16_t vendorId,
                                           std::uint16_t productId, std::string& detail);

// The `sim` address opens through `opener` from now on; until then, or when
// it is empty, that address opens nothing, with a plain detail. The start-up
// hands in the process's simulated board; a test may hand in its own.
void setSimulatedBoardOpener(PortOpener opener);

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
