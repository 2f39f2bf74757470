#include "tests/support/ScriptedPort.h"
#include "usb/DeviceAddress.h"
#include "usb/HidBootDevice.h"

#include <gtest/gtest.h>

namespace tarvane {
namespace {

TEST(DeviceAddress, ParsesEveryFormAndRejectsTheRest) {
    std::string error;
    EXPECT_EQ(parseDeviceAddress("usb", error)->kind, DeviceAddress::Kind::Usb);
    EXPECT_EQ(parseDeviceAddress("usb:/dev/hidraw3", error)->path, "/dev/hidraw3");
    EXPECT_EQ(parseDeviceAddress("sim", error)->kind, DeviceAddress::Kind::Sim);
    const auto tcp = parseDeviceAddress("tcp:127.0.0.1:5000", error);
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->host, "127.0.0.1");
    EXPECT_EQ(tcp->port, 5000);
    EXPECT_EQ(tcp->toString(), "tcp:127.0.0.1:5000");
    EXPECT_EQ(parseDeviceAddress("tcp:[::1]:6000", error)->host, "::1");

    for (const char* bad : {"", "USB", "usb:", "tcp:", "tcp:host", "tcp::5000", "tcp:h:0", "tcp:h:70000", "tcp:h:5x",
                            "serial:COM3"}) {
        error.clear();
        EXPECT_FALSE(parseDeviceAddress(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(HidBootDevice, FramesGoOutAsWholeReportsAndNothingOpensWithoutABackend) {
    HidBootDevice device;
    EXPECT_FALSE(device.find(kBootloaderVendorId, kBootloaderProductId));

    auto board = std::make_shared<test::ScriptedBoard>();
    std::vector<std::array<std::uint8_t, 64>> written;
    struct Recorder : ReportPort {
        std::vector<std::array<std::uint8_t, 64>>* out;
        bool writeReport(ReportView r) override {
            std::array<std::uint8_t, 64> copy{};
            std::copy(r.begin(), r.end(), copy.begin());
            out->push_back(copy);
            return true;
        }
        ReadResult readReport(ReportBuffer, int) override { return ReadResult::Timeout; }
    };
    device.setBackend(DeviceAddress{}, [&](const DeviceAddress&, std::uint16_t vid, std::uint16_t pid, std::string&) {
        EXPECT_EQ(vid, 0x04D8);
        EXPECT_EQ(pid, 0x003C);
        auto port = std::make_unique<Recorder>();
        port->out = &written;
        return std::unique_ptr<ReportPort>(std::move(port));
    });
    ASSERT_TRUE(device.find(kBootloaderVendorId, kBootloaderProductId));
    std::vector<std::uint8_t> frame(65);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i + 1);
    for (std::size_t length : {7u, 64u, 65u}) device.writeFrame(frame.data(), length);
    ASSERT_EQ(written.size(), 4u);
    EXPECT_EQ(written[0][6], 7);
    EXPECT_EQ(written[0][7], 0); // filled up after the frame
    EXPECT_EQ(written[2][0], 1);
    EXPECT_EQ(written[3][0], 65);
    EXPECT_EQ(written[3][1], 0);

    device.close();
    EXPECT_FALSE(device.isOpen());
    device.writeFrame(frame.data(), 7);
    EXPECT_EQ(written.size(), 4u);
}

} // namespace
} // namespace tarvane
