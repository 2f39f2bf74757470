#include "usb/hidapi/SystemHidApi.h"

#include "usb/hidapi/WideText.h"

#include <hidapi.h>

#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace tarvane {
namespace {

// hid_exit frees everything the library holds, so it may run only when the
// last user is gone; a count under a lock keeps init and exit paired even
// when a listing and an update overlap.
class LibraryUse {
public:
    static std::shared_ptr<LibraryUse> acquire(std::string& error) {
        const std::lock_guard lock(mutex());
        if (users() == 0 && hid_init() != 0) {
            error = "the USB HID library could not start: " + utf8FromWide(hid_error(nullptr));
            return nullptr;
        }
        ++users();
        return std::make_shared<LibraryUse>();
    }

    LibraryUse() = default;
    LibraryUse(const LibraryUse&) = delete;
    LibraryUse& operator=(const LibraryUse&) = delete;
    ~LibraryUse() {
        const std::lock_guard lock(mutex());
        if (--users() == 0) hid_exit();
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static int& users() {
        static int count = 0;
        return count;
    }
};

struct DeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
struct EnumerationFree {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};

class SystemHidConnection final : public HidConnection {
public:
    SystemHidConnection(std::shared_ptr<LibraryUse> library, hid_device* device)
        : library_(std::move(library)), device_(device) {}

    int write(std::span<const std::uint8_t> data) override {
        return hid_write(device_.get(), data.data(), data.size());
    }
    int readTimeout(std::span<std::uint8_t> data, int timeoutMs) override {
        return hid_read_timeout(device_.get(), data.data(), data.size(), timeoutMs);
    }
    std::string error() override { return utf8FromWide(hid_error(device_.get())); }

private:
    // Declared first so the device closes before the library may exit.
    std::shared_ptr<LibraryUse> library_;
    std::unique_ptr<hid_device, DeviceCloser> device_;
};

class SystemHidApi final : public HidApi {
public:
    explicit SystemHidApi(std::shared_ptr<LibraryUse> library) : library_(std::move(library)) {}

    std::vector<HidDeviceInfo> enumerate(std::uint16_t vendorId, std::uint16_t productId) override {
        std::vector<HidDeviceInfo> found;
        const std::unique_ptr<hid_device_info, EnumerationFree> list(hid_enumerate(vendorId, productId));
        for (const hid_device_info* d = list.get(); d != nullptr; d = d->next) {
            found.push_back({d->path != nullptr ? d->path : "", d->vendor_id, d->product_id,
                             utf8FromWide(d->product_string), utf8FromWide(d->serial_number)});
        }
        return found;
    }

    std::unique_ptr<HidConnection> open(const std::string& path) override {
        hid_device* device = hid_open_path(path.c_str());
        if (device == nullptr) return nullptr;
        return std::make_unique<SystemHidConnection>(library_, device);
    }

    std::string error() override { return utf8FromWide(hid_error(nullptr)); }

    bool accessDenied(const std::string& path) override {
        // Only device nodes can be checked this way; other platforms' paths
        // are no files and simply answer "no such file".
        return ::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM);
    }

private:
    std::shared_ptr<LibraryUse> library_;
};

} // namespace

std::unique_ptr<HidApi> openSystemHidApi(std::string& error) {
    auto library = LibraryUse::acquire(error);
    if (!library) return nullptr;
    return std::make_unique<SystemHidApi>(std::move(library));
}

} // namespace tarvane
