// The hid.dll back-end against the HID devices the system really has. Under
// Wine those are its virtual mouse and keyboard: no bootloader, but real
// handles, real overlapped reads and real cancellation.
#include "usb/win32/BoardMutex.h"
#include "usb/win32/HidDeviceSearch.h"
#include "usb/win32/HidLibrary.h"
#include "usb/UsbBackend.h"
#include "usb/win32/Win32ReportPort.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <thread>

namespace tarvane {
namespace {

TEST(HidPortTest, ReadsGiveUpAtTheirLimitAndTheCancelledReadIsFinishedEachTime) {
    std::vector<std::wstring> paths;
    std::string error;
    ASSERT_TRUE(hidInterfacePaths(systemHidLibrary(), paths, error)) << error;
    HidCandidate device;
    for (const std::wstring& path : paths) {
        device = examineHidDevice(systemHidLibrary(), path);
        if (device.opened()) break;
    }
    if (!device.opened()) GTEST_SKIP() << "no HID device that opens";
    EXPECT_TRUE(device.attributesRead);

    Win32ReportPort port(std::move(device.writeHandle), std::move(device.readHandle));
    std::array<std::uint8_t, kReportSize> report{};
    // Nobody types or moves the mouse, so reads end by their limit, and each
    // next one starts on the same handle because the cancelled one is over.
    // A report that does come is fine; a read that never ends is not.
    int timeouts = 0;
    for (int i = 0; i < 3; ++i) {
        const auto started = std::chrono::steady_clock::now();
        const ReadResult result = port.readReport(report, 100);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_NE(result, ReadResult::Error);
        EXPECT_LT(took, std::chrono::milliseconds(1000));
        if (result == ReadResult::Timeout) {
            ++timeouts;
            EXPECT_GE(took, std::chrono::milliseconds(90));
        }
    }
    EXPECT_GT(timeouts, 0);
}

TEST(HidPortTest, SearchForTheBootloaderPassesOverEveryOtherDevice) {
    std::string detail;
    EXPECT_EQ(openUsbReportPort("", 0x04D8, 0x003C, detail), nullptr);
    EXPECT_EQ(detail, "") << "nothing was even close";
    std::vector<UsbBootloader> found;
    std::string error;
    ASSERT_TRUE(listUsbBootloaders(0x04D8, 0x003C, found, error)) << error;
    EXPECT_TRUE(found.empty());

    // A path that names nothing says so, with the system's reason.
    EXPECT_EQ(openUsbReportPort("\\\\?\\hid#nothing#here", 0x04D8, 0x003C, detail), nullptr);
    EXPECT_EQ(detail.rfind("usb:\\\\?\\hid#nothing#here: CreateFileW: (0x", 0), 0u) << detail;
}

TEST(HidPortTest, ABoardsMutexKeepsASecondUpdaterAwayAndIsTakenOverFromOneThatDied) {
    const std::wstring path = L"\\\\?\\hid#vid_04d8&pid_003c#7&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    EXPECT_EQ(boardMutexName(path), boardMutexName(L"\\\\?\\HID#VID_04D8&PID_003C#7&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030}"));
    EXPECT_EQ(boardMutexName(path).find(L'\\', 7), std::wstring::npos) << "only Global\\ may hold a backslash";

    // The holder's thread takes it and ends without letting go, as a killed updater does.
    std::unique_ptr<BoardMutex> held;
    std::thread([&] { held = std::make_unique<BoardMutex>(path); }).join();
    ASSERT_EQ(held->state(), BoardMutex::State::Held);
    // Abandoned by its thread: the next one takes it over.
    const BoardMutex next(path);
    EXPECT_EQ(next.state(), BoardMutex::State::Held);
    // While it is held, another thread (another updater) is refused.
    BoardMutex::State other = BoardMutex::State::Held;
    std::thread([&] { other = BoardMutex(path).state(); }).join();
    EXPECT_EQ(other, BoardMutex::State::InUse);
}

} // namespace
} // namespace tarvane
