#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvane {

// Where to look for a bootloader: the same address for every front end
// (`--device` of the terminal tool, TARVANE_DEVICE for the windows).
struct DeviceAddress {
    enum class Kind { Usb, Tcp, Sim };

    Kind kind = Kind::Usb;
    std::string path;   // Usb: one HID device path; empty means the first match
    std::string host;   // Tcp
    std::uint16_t port = 0;

    std::string toString() const;
};

// Parses "usb", "usb:PATH", "tcp:HOST:PORT" or "sim"; on failure returns
// nothing and says why in `error`.
std::optional<DeviceAddress> parseDeviceAddress(std::string_view text, std::string& error);

} // namespace tarvane
