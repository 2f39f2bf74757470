#include "usb/hidapi/HidSearch.h"

#include "usb/hidapi/HidReportPort.h"
#include "usb/hidapi/NodeLock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tarvane {
namespace {

constexpr int kInUseRetries = 5;
constexpr auto kInUseRetryPause = std::chrono::milliseconds(10);

// A connection that keeps its node's lock until the device itself is closed,
// which a write held by the system may delay past the port's end.
class LockedConnection final : public HidConnection {
public:
    LockedConnection(NodeLock lock, std::unique_ptr<HidConnection> device)
        : lock_(std::move(lock)), device_(std::move(device)) {}

    int write(std::span<const std::uint8_t> data) override { return device_->write(data); }
    int readTimeout(std::span<std::uint8_t> data, int timeoutMs) override {
        return device_->readTimeout(data, timeoutMs);
    }
    std::string error() override { return device_->error(); }

private:
    // Declared first, so released after the device has closed.
    NodeLock lock_;
    std::unique_ptr<HidConnection> device_;
};

} // namespace

std::vector<UsbBootloader> listHidBootloaders(HidApi& api, std::uint16_t vendorId, std::uint16_t productId) {
    std::vector<UsbBootloader> found;
    for (HidDeviceInfo& info : api.enumerate(vendorId, productId)) {
        // Platforms differ in how strictly they filter, so check the IDs here too;
        // one interface can also be listed once per top-level collection.
        if (info.vendorId != vendorId || info.productId != productId) continue;
        const bool seen = std::any_of(found.begin(), found.end(),
                                      [&](const UsbBootloader& b) { return b.info.path == info.path; });
        if (seen) continue;
        const bool denied = api.accessDenied(info.path);
        const bool inUse = !denied && nodeInUse(info.path);
        found.push_back({std::move(info), denied, inUse});
    }
    return found;
}

std::unique_ptr<ReportPort> openHidBootloader(HidApi& api, const std::string& path, std::uint16_t vendorId,
                                              std::uint16_t productId, std::string& detail) {
    detail.clear();
    std::vector<UsbBootloader> candidates;
    for (UsbBootloader& b : listHidBootloaders(api, vendorId, productId)) {
        if (path.empty() || b.info.path == path) candidates.push_back(std::move(b));
    }
    if (candidates.empty()) {
        // Never open a path that is not a bootloader: our frames could upset another device.
        if (!path.empty())
            detail = "no bootloader is connected at " + path + "; tarvane-update --list shows the connected ones";
        return nullptr;
    }

    std::string deniedPath;
    std::string inUsePath;
    std::string failure;
    // Like a search that skips an interface it cannot open, go on to the next one.
    for (const UsbBootloader& b : candidates) {
        // Locked before the library opens it, so a board another updater
        // holds is never sent a single report. A path that is no lockable
        // file (another platform's) is opened as it is.
        NodeLock lock(b.info.path);
        // Another search's look at the node holds the lock for an instant,
        // an updater for its whole update: only a lock still held a moment
        // later is an updater's.
        for (int retry = 0; retry < kInUseRetries && lock.state() == NodeLock::State::InUse; ++retry) {
            std::this_thread::sleep_for(kInUseRetryPause);
            lock = NodeLock(b.info.path);
        }
        if (lock.state() == NodeLock::State::InUse) {
            if (inUsePath.empty()) inUsePath = b.info.path;
            continue;
        }
        if (auto connection = api.open(b.info.path)) {
            return std::make_unique<HidReportPort>(
                std::make_unique<LockedConnection>(std::move(lock), std::move(connection)));
        }
        if (api.accessDenied(b.info.path)) {
            if (deniedPath.empty()) deniedPath = b.info.path;
        } else if (failure.empty()) {
            failure = "the bootloader at " + b.info.path + " was found but could not be opened: " + api.error();
        }
    }
    if (!deniedPath.empty()) {
        detail = accessDeniedDetail(deniedPath);
    } else if (!inUsePath.empty()) {
        detail = inUseDetail(inUsePath);
    } else {
        detail = failure;
    }
    return nullptr;
}

} // namespace tarvane
