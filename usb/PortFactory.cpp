#include "usb/PortFactory.h"

#include "usb/UsbBackend.h"
#include "usb/tcp/TcpReportPort.h"

#include <array>
#include <mutex>

namespace tarvane {

namespace {

std::unique_ptr<ReportPort> openTcp(const DeviceAddress& address, std::uint16_t, std::uint16_t,
                                    std::string& detail) {
    return openTcpReportPort(address.host, address.port, detail);
}

std::unique_ptr<ReportPort> openUsb([[maybe_unused]] const DeviceAddress& address,
                                    [[maybe_unused]] std::uint16_t vendorId,
                                    [[maybe_unused]] std::uint16_t productId, std::string& detail) {
#if TARVANE_HAVE_HIDAPI || TARVANE_HAVE_WIN32_HID
    return openUsbReportPort(address.path, vendorId, productId, detail);
#else
    detail = "this build has no USB back-end (hidapi was missing when it was built); "
             "use --device sim or tcp:HOST:PORT";
    return nullptr;
#endif
}

std::unique_ptr<ReportPort> openNothing(const DeviceAddress& address, std::uint16_t, std::uint16_t,
                                        std::string& detail) {
    detail = "this program offers no device at \"" + address.toString() + "\"";
    return nullptr;
}

// One opener per address kind, locked: a front end may register while a
// link opens a port on another thread.
class OpenerTable {
public:
    void set(DeviceAddress::Kind kind, PortOpener opener) {
        const std::lock_guard lock(mutex_);
        openers_[index(kind)] = opener ? std::move(opener) : PortOpener(openNothing);
    }
    PortOpener get(DeviceAddress::Kind kind) {
        const std::lock_guard lock(mutex_);
        return openers_[index(kind)];
    }

private:
    static std::size_t index(DeviceAddress::Kind kind) {
        switch (kind) {
        case DeviceAddress::Kind::Usb:
            return 0;
        case DeviceAddress::Kind::Tcp:
            return 1;
        case DeviceAddress::Kind::Sim:
            return 2;
        }
        return 0;
    }

    std::mutex mutex_;
    std::array<PortOpener, 3> openers_{openUsb, openTcp, openNothing};
};

OpenerTable& openers() {
    static OpenerTable table;
    return table;
}

} // namespace

std::unique_ptr<ReportPort> openReportPort(const DeviceAddress& address, std::uint16_t vendorId,
                                           std::uint16_t productId, std::string& detail) {
    return openers().get(address.kind)(address, vendorId, productId, detail);
}

void registerPortOpener(DeviceAddress::Kind kind, PortOpener opener) { openers().set(kind, std::move(opener)); }

DeviceChoice chooseDevice(const std::string& text) {
    DeviceChoice choice;
    std::string error;
    if (const std::optional<DeviceAddress> parsed = parseDeviceAddress(text.empty() ? "usb" : text, error)) {
        choice.address = *parsed;
        choice.opener = openReportPort;
        return choice;
    }
    choice.error = "TARVANE_DEVICE: " + error;
    choice.opener = [reason = choice.error](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string& detail) {
        detail = reason;
        return std::unique_ptr<ReportPort>();
    };
    return choice;
}

} // namespace tarvane
