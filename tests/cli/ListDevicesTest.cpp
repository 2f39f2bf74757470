// tarvane-update --list and device addresses, end to end. This machine has
// no USB bootloader, so the USB listing is the "none found" path; a simulated
// board over TCP stands in for one that is there.
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"
#include "usb/tcp/Socket.h"

#include <gtest/gtest.h>

namespace tarvane {
namespace {

const std::string kProgram = TARVANE_BIN_DIR "/tarvane-update";

TEST(ListDevices, NoBootloaderIsAPlainLineAndStatusFour) {
    auto r = test::runProcess(kProgram, {"--list"});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(r.out, "") << "stdout carries only devices, for scripts";
    EXPECT_EQ(r.err.rfind("No bootloader found (USB vendor 0x04D8, product 0x003C).\n", 0), 0u) << r.err;

    r = test::runProcess(kProgram, {"--list", "--device", "usb:/dev/hidraw-none"});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(r.err.rfind("No bootloader found at usb:/dev/hidraw-none.\n", 0), 0u) << r.err;

    // And an update aimed at that path is "Device not found".
    r = test::runProcess(kProgram, {"--board", "display", "--device", "usb:/dev/hidraw-none",
                                    TARVANE_SOURCE_DIR "/examples/Tarvane_Display_Board_2064.hex"});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("error: Device not found\n"), std::string::npos) << r.err;
}

TEST(ListDevices, AReachableSimulatedBoardIsListedByItsAddress) {
    test::SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    const std::string address = sim.address();
    auto r = test::runProcess(kProgram, {"--list", "--device", address});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, address + "\n");
    {
        // Another host holds it: listed all the same, in use.
        std::string error;
        const Socket holder = Socket::connectTo("127.0.0.1", sim.port(), 2000, error);
        ASSERT_TRUE(holder.valid()) << error;
        r = test::runProcess(kProgram, {"--list", "--device", address});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, address + "\tin use\n");
    }
    sim.stop();

    // Gone: the same "none" line, with the reason below it.
    r = test::runProcess(kProgram, {"--list", "--device", address});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(r.err.rfind("No bootloader found at " + address + ".\n", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");

    r = test::runProcess(kProgram, {"--list", "--device", "sim"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "sim\n");
}

TEST(ListDevices, BadAddressesAreUsageErrorsBeforeAnyDeviceIsTried) {
    const std::string hex = TARVANE_SOURCE_DIR "/examples/Tarvane_Display_Board_2064.hex";
    const std::pair<std::string, std::string> bad[] = {
        {"usb:", "names no device path"},
        {"USB", "unknown device address \"USB\""},
        {"serial:COM3", "expected usb, usb:PATH, tcp:HOST:PORT or sim"},
        {"tcp:127.0.0.1", "needs a host and a port"},
        {"tcp:127.0.0.1:0", "has no valid port (1 to 65535)"},
        {"tcp:127.0.0.1:65536", "has no valid port"},
    };
    for (const auto& [address, reason] : bad) {
        for (const auto& args : {std::vector<std::string>{"--list", "--device", address},
                                 std::vector<std::string>{"--board", "interface", "--device", address, hex}}) {
            const auto r = test::runProcess(kProgram, args);
            EXPECT_EQ(r.exitCode, 2) << address << ": " << r.err;
            EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
            EXPECT_NE(r.err.find(reason), std::string::npos) << address << ": " << r.err;
            EXPECT_EQ(r.out, "") << "nothing is tried before the address is understood";
        }
    }
}

} // namespace
} // namespace tarvane
