// The USB back-end above the HID library's C calls: report packing, the
// search, the permission path and a device that vanishes, through a fake.
#include "link/Protocol.h"
#include "tests/usb/FakeHidApi.h"
#include "usb/HidBootDevice.h"
#include "usb/hidapi/HidReportPort.h"
#include "tests/support/HexGen.h"
#include "usb/hidapi/HidSearch.h"
#include "usb/hidapi/NodeLock.h"
#include "usb/hidapi/WideText.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvane {
namespace {

using Clock = std::chrono::steady_clock;

std::unique_ptr<ReportPort> search(test::FakeHidApi& api, const std::string& path, std::string& detail) {
    return openHidBootloader(api, path, kBootloaderVendorId, kBootloaderProductId, detail);
}

// A HidBootDevice wired to the fake, as the front ends wire it to the system.
void attach(HidBootDevice& device, test::FakeHidApi& api) {
    device.setBackend(DeviceAddress{},
                      [&api](const DeviceAddress& a, std::uint16_t vid, std::uint16_t pid, std::string& detail) {
                          return openHidBootloader(api, a.path, vid, pid, detail);
                      });
}

TEST(HidBackend, FramesGoOutAsSixtyFiveByteReportsWithReportIdZeroFirst) {
    test::FakeHidApi api;
    auto wire = api.add("/dev/hidraw0").wire;
    HidBootDevice device;
    attach(device, api);
    ASSERT_TRUE(device.find(kBootloaderVendorId, kBootloaderProductId));

    std::vector<std::uint8_t> frame(65);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(0xA0 + i);
    const std::pair<std::size_t, std::size_t> cases[] = {{7, 1}, {64, 1}, {65, 2}};
    for (const auto& [length, reports] : cases) {
        wire->written.clear();
        device.writeFrame(frame.data(), length);
        ASSERT_EQ(wire->written.size(), reports) << length;
        for (std::size_t r = 0; r < reports; ++r) {
            const auto& report = wire->written[r];
            ASSERT_EQ(report.size(), 65u);
            EXPECT_EQ(report[0], 0) << "report ID, frame of " << length;
            for (std::size_t i = 0; i < 64; ++i) {
                const std::size_t pos = r * 64 + i;
                EXPECT_EQ(report[1 + i], pos < length ? frame[pos] : 0) << length << " byte " << pos;
            }
        }
    }
}

TEST(HidBackend, ReadsGiveTheReportZeroFilledOrTimeOut) {
    test::FakeHidApi api;
    auto wire = api.add("/dev/hidraw0").wire;
    std::string detail;
    auto port = search(api, "", detail);
    ASSERT_TRUE(port);

    std::vector<std::uint8_t> full(64);
    for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(i + 1);
    wire->input.push_back(full);
    wire->input.push_back({0x01, 0x02, 0x03}); // a short report
    std::array<std::uint8_t, 64> report{};
    ASSERT_EQ(port->readReport(report, 100), ReadResult::Report);
    EXPECT_TRUE(std::equal(report.begin(), report.end(), full.begin()));
    report.fill(0xEE);
    ASSERT_EQ(port->readReport(report, 100), ReadResult::Report);
    EXPECT_EQ(report[2], 0x03);
    EXPECT_EQ(report[3], 0x00);
    EXPECT_EQ(report[63], 0x00);
    EXPECT_EQ(port->readReport(report, 100), ReadResult::Timeout);
}

TEST(HidBackend, TheFirstMatchingBootloaderThatOpensWinsAndAPathPicksOne) {
    test::FakeHidApi api;
    api.add("/dev/hidraw0", 0x046D, 0xC52B);      // a mouse: never opened
    api.add("/dev/hidraw1", 0x04D8, 0x0001);      // same vendor, other product
    api.add("/dev/hidraw2");
    api.add("/dev/hidraw2");                      // listed again for a second collection
    api.add("/dev/hidraw3");
    api.add("/dev/hidraw4").failing = true;

    std::string detail;
    EXPECT_TRUE(search(api, "", detail));
    EXPECT_EQ(api.openAttempts, std::vector<std::string>{"/dev/hidraw2"});
    EXPECT_TRUE(detail.empty());

    api.openAttempts.clear();
    EXPECT_TRUE(search(api, "/dev/hidraw3", detail));
    EXPECT_EQ(api.openAttempts, std::vector<std::string>{"/dev/hidraw3"});

    // A matching interface that cannot be opened is skipped, as when its
    // attributes cannot be read.
    api.devices[2].failing = true;
    api.devices[3].failing = true;
    api.openAttempts.clear();
    EXPECT_TRUE(search(api, "", detail));
    EXPECT_EQ(api.openAttempts, (std::vector<std::string>{"/dev/hidraw2", "/dev/hidraw3"}));

    // A path that is no bootloader is refused without being opened.
    api.openAttempts.clear();
    for (const std::string path : {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw9"}) {
        EXPECT_FALSE(search(api, path, detail)) << path;
        EXPECT_NE(detail.find("no bootloader is connected at " + path), std::string::npos) << detail;
        EXPECT_NE(detail.find("--list"), std::string::npos) << detail;
    }
    EXPECT_TRUE(api.openAttempts.empty());

    // The one that fails for another reason says so with the library's words.
    EXPECT_FALSE(search(api, "/dev/hidraw4", detail));
    EXPECT_NE(detail.find("/dev/hidraw4 was found but could not be opened: Failed to open"), std::string::npos)
        << detail;

    test::FakeHidApi empty;
    EXPECT_FALSE(search(empty, "", detail));
    EXPECT_TRUE(detail.empty()) << "nothing seen, nothing to explain beyond \"Device not found\"";
}

TEST(HidBackend, AccessDeniedStillFailsTheSearchButSaysWhyAndHowToFixIt) {
    test::FakeHidApi api;
    api.add("/dev/hidraw5").denied = true;
    HidBootDevice device;
    attach(device, api);
    EXPECT_FALSE(device.find(kBootloaderVendorId, kBootloaderProductId));
    EXPECT_FALSE(device.isOpen());
    const std::string& detail = device.lastDetail();
    EXPECT_EQ(detail, accessDeniedDetail("/dev/hidraw5"));
    EXPECT_EQ(detail.find('\n'), std::string::npos) << "one line";
    for (const char* part : {"/dev/hidraw5", "access to it was denied", "/etc/udev/rules.d/70-tarvane-bootloader.rules",
                             "udevadm control --reload", "unplug and replug"})
        EXPECT_NE(detail.find(part), std::string::npos) << part << " in: " << detail;

    // Denied beats a plain failure in the explanation; an accessible one beats both.
    api.add("/dev/hidraw6").failing = true;
    std::string text;
    EXPECT_FALSE(search(api, "", text));
    EXPECT_EQ(text, accessDeniedDetail("/dev/hidraw5"));
    api.add("/dev/hidraw7");
    EXPECT_TRUE(device.find(kBootloaderVendorId, kBootloaderProductId));
    EXPECT_TRUE(device.lastDetail().empty());

    const auto listed = listHidBootloaders(api, kBootloaderVendorId, kBootloaderProductId);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_TRUE(listed[0].accessDenied);
    EXPECT_FALSE(listed[2].accessDenied);
}

TEST(HidBackend, ABoardAnotherUpdaterHoldsIsInUseNeverOpenedAndFreedWithItsHolder) {
    // The fake's nodes are plain files, which lock like hidraw nodes.
    const test::ScratchDir dir;
    test::FakeHidApi api;
    const std::string held = dir.write("hidraw0", "");
    const std::string other = dir.write("hidraw1", "");
    api.add(held);

    HidBootDevice first;
    attach(first, api);
    ASSERT_TRUE(first.find(kBootloaderVendorId, kBootloaderProductId)) << first.lastDetail();
    std::string detail;
    EXPECT_FALSE(search(api, held, detail));
    EXPECT_EQ(detail, inUseDetail(held));
    EXPECT_EQ(api.openAttempts.size(), 1u) << "the board in use was opened a second time";
    const auto listed = listHidBootloaders(api, kBootloaderVendorId, kBootloaderProductId);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].inUse);
    // A search for any board passes over the one in use.
    api.add(other);
    auto port = search(api, "", detail);
    EXPECT_TRUE(port);
    EXPECT_EQ(api.openAttempts.back(), other);
    port.reset();
    first.close();
    EXPECT_FALSE(listHidBootloaders(api, kBootloaderVendorId, kBootloaderProductId)[0].inUse);

    // A holder that is killed leaves the board free.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const NodeLock lock(held);
        const char state = lock.state() == NodeLock::State::Held ? 'h' : 'x';
        (void)!::write(ready[1], &state, 1);
        ::pause();
        ::_exit(0);
    }
    char state = 0;
    EXPECT_EQ(::read(ready[0], &state, 1), 1);
    EXPECT_EQ(state, 'h');
    EXPECT_TRUE(nodeInUse(held));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(nodeInUse(held));
    EXPECT_TRUE(first.find(kBootloaderVendorId, kBootloaderProductId)) << first.lastDetail();
}

TEST(HidBackend, AVanishedDeviceGivesErrorsWithinTheLimitAndNeverSpins) {
    test::FakeHidApi api;
    auto wire = api.add("/dev/hidraw0").wire;
    std::string detail;
    auto port = search(api, "", detail);
    ASSERT_TRUE(port);
    EXPECT_EQ(wire->openConnections, 1);

    wire->gone = true;
    std::array<std::uint8_t, 64> report{};
    EXPECT_FALSE(port->writeReport(report));
    // The library fails at once each time; the port sleeps out each limit.
    const int limitMs = 30;
    const auto started = Clock::now();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(port->readReport(report, limitMs), ReadResult::Error);
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(4 * limitMs));
    EXPECT_EQ(wire->reads, 4);

    port.reset();
    EXPECT_EQ(wire->openConnections, 0) << "the handle is closed with the port";
}

// A board that stays on the bus but stopped reading: each write is held
// until the test lets it return.
struct HeldWire {
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    bool closed = false;
    int reads = 0;
    int writes = 0;
};

class HeldConnection final : public HidConnection {
public:
    explicit HeldConnection(std::shared_ptr<HeldWire> wire) : wire_(std::move(wire)) {}
    ~HeldConnection() override {
        const std::lock_guard lock(wire_->mutex);
        wire_->closed = true;
    }
    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;

    int write(std::span<const std::uint8_t> data) override {
        std::unique_lock lock(wire_->mutex);
        wire_->released.wait(lock, [&] { return wire_->release; });
        ++wire_->writes;
        return static_cast<int>(data.size());
    }
    int readTimeout(std::span<std::uint8_t>, int) override {
        const std::lock_guard lock(wire_->mutex);
        ++wire_->reads;
        return 0;
    }
    std::string error() override { return "Success"; }

private:
    std::shared_ptr<HeldWire> wire_;
};

TEST(HidBackend, AHeldWriteBoundsTheWaitAndTheDeviceClosesWhenItReturns) {
    auto wire = std::make_shared<HeldWire>();
    auto port = std::make_unique<HidReportPort>(std::make_unique<HeldConnection>(wire));
    std::array<ReportBytes, 2> frame{};
    std::array<std::uint8_t, 64> report{};

    auto started = Clock::now();
    EXPECT_FALSE(port->writeReports(frame));
    const auto took = Clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(kReportWriteLimitMs - 50));
    EXPECT_LT(took, std::chrono::milliseconds(kReportWriteLimitMs + 400));
    // Meanwhile a read leaves the device to the write and answers nothing in time.
    EXPECT_EQ(port->readReport(report, 30), ReadResult::Timeout);

    // Closing does not wait for the write; the device closes once it returns.
    started = Clock::now();
    port.reset();
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(200));
    std::unique_lock lock(wire->mutex);
    EXPECT_FALSE(wire->closed);
    EXPECT_EQ(wire->reads, 0);
    wire->release = true;
    wire->released.notify_all();
    lock.unlock();
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        lock.lock();
        const bool closed = wire->closed;
        lock.unlock();
        if (closed) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    lock.lock();
    EXPECT_TRUE(wire->closed);
    EXPECT_EQ(wire->writes, 1) << "the report after the held one went out";
}

TEST(HidBackend, WideStringsBecomeUtf8) {
    EXPECT_EQ(utf8FromWide(nullptr), "");
    EXPECT_EQ(utf8FromWide(L"Tarvane"), "Tarvane");
    EXPECT_EQ(utf8FromWide(L"micro\u2013B \u00e9"), "micro\xE2\x80\x93" "B \xC3\xA9");
    EXPECT_EQ(utf8FromWide(L"\U0001F50C"), "\xF0\x9F\x94\x8C");
    const wchar_t lone[] = {static_cast<wchar_t>(0xD800), L'x', 0};
    EXPECT_EQ(utf8FromWide(lone), "\xEF\xBF\xBDx");
}

} // namespace
} // namespace tarvane
