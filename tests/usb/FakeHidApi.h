#pragma once

#include "usb/hidapi/HidApi.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tarvane::test {

// What passes over one fake device, shared by the test and its connection.
struct FakeHidWire {
    std::vector<std::vector<std::uint8_t>> written;
    std::deque<std::vector<std::uint8_t>> input;
    bool gone = false;    // unplugged: every call fails at once
    int reads = 0;
    int openConnections = 0;
};

struct FakeHidDevice {
    HidDeviceInfo info;
    bool denied = false;  // the node exists but this user may not open it
    bool failing = false; // open fails for another reason
    std::shared_ptr<FakeHidWire> wire = std::make_shared<FakeHidWire>();
};

class FakeHidConnection final : public HidConnection {
public:
    explicit FakeHidConnection(std::shared_ptr<FakeHidWire> wire) : wire_(std::move(wire)) { ++wire_->openConnections; }
    ~FakeHidConnection() override { --wire_->openConnections; }
    FakeHidConnection(const FakeHidConnection&) = delete;
    FakeHidConnection& operator=(const FakeHidConnection&) = delete;

    int write(std::span<const std::uint8_t> data) override {
        if (wire_->gone) return -1;
        wire_->written.emplace_back(data.begin(), data.end());
        return static_cast<int>(data.size());
    }
    // Answers at once, as the library does for a queued report or a gone device.
    int readTimeout(std::span<std::uint8_t> data, int) override {
        ++wire_->reads;
        if (wire_->gone) return -1;
        if (wire_->input.empty()) return 0;
        const std::vector<std::uint8_t> report = std::move(wire_->input.front());
        wire_->input.pop_front();
        const std::size_t n = std::min(report.size(), data.size());
        std::copy_n(report.begin(), n, data.begin());
        return static_cast<int>(n);
    }
    std::string error() override { return wire_->gone ? "device disconnected" : "Success"; }

private:
    std::shared_ptr<FakeHidWire> wire_;
};

// Returns every device whatever IDs are asked for, like a platform that does
// not filter, so the search's own check is what the tests see.
class FakeHidApi final : public HidApi {
public:
    std::vector<FakeHidDevice> devices;
    std::vector<std::string> openAttempts;

    FakeHidDevice& add(std::string path, std::uint16_t vid = 0x04D8, std::uint16_t pid = 0x003C) {
        FakeHidDevice d;
        d.info = {std::move(path), vid, pid, "Tarvane bootloader", ""};
        devices.push_back(d);
        return devices.back();
    }

    std::vector<HidDeviceInfo> enumerate(std::uint16_t, std::uint16_t) override {
        std::vector<HidDeviceInfo> infos;
        for (const FakeHidDevice& d : devices) infos.push_back(d.info);
        return infos;
    }
    std::unique_ptr<HidConnection> open(const std::string& path) override {
        openAttempts.push_back(path);
        const FakeHidDevice* d = find(path);
        if (d == nullptr || d->denied || d->failing) {
            error_ = "Failed to open a device with path '" + path + "'";
            return nullptr;
        }
        return std::make_unique<FakeHidConnection>(d->wire);
    }
    std::string error() override { return error_; }
    bool accessDenied(const std::string& path) override {
        const FakeHidDevice* d = find(path);
        return d != nullptr && d->denied;
    }

private:
    const FakeHidDevice* find(const std::string& path) const {
        for (const FakeHidDevice& d : devices)
            if (d.info.path == path) return &d;
        return nullptr;
    }
    std::string error_;
};

} // namespace tarvane::test
