#include "usb/DeviceAddress.h"

#include <charconv>

namespace tarvane {

std::string DeviceAddress::toString() const {
    switch (kind) {
    case Kind::Usb:
        return path.empty() ? "usb" : "usb:" + path;
    case Kind::Tcp:
        return "tcp:" + host + ":" + std::to_string(port);
    case Kind::Sim:
        return "sim";
    }
    return {};
}

std::optional<DeviceAddress> parseDeviceAddress(std::string_view text, std::string& error) {
    const std::string usage = "expected usb, usb:PATH, tcp:HOST:PORT or sim";
    DeviceAddress address;
    if (text == "usb") return address;
    if (text == "sim") {
        address.kind = DeviceAddress::Kind::Sim;
        return address;
    }
    if (text.starts_with("usb:")) {
        address.path = std::string(text.substr(4));
        if (address.path.empty()) {
            error = "device address \"usb:\" names no device path; " + usage;
            return std::nullopt;
        }
        return address;
    }
    if (text.starts_with("tcp:")) {
        const std::string_view rest = text.substr(4);
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos || colon == 0) {
            error = "device address \"" + std::string(text) + "\" needs a host and a port, as tcp:127.0.0.1:5000";
            return std::nullopt;
        }
        std::string_view host = rest.substr(0, colon);
        // Brackets let an IPv6 host carry its own colons: tcp:[::1]:5000.
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        const std::string_view portText = rest.substr(colon + 1);
        unsigned port = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc{} || end != portText.data() + portText.size() || port == 0 || port > 65535) {
            error = "device address \"" + std::string(text) + "\" has no valid port (1 to 65535)";
            return std::nullopt;
        }
        address.kind = DeviceAddress::Kind::Tcp;
        address.host = std::string(host);
        address.port = static_cast<std::uint16_t>(port);
        return address;
    }
    error = "unknown device address \"" + std::string(text) + "\"; " + usage;
    return std::nullopt;
}

} // namespace tarvane
