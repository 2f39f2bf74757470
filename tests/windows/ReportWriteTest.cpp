// Output reports against a named pipe standing in for the board: with no
// buffer, the pipe takes a write only while its other end is reading, so a
// board that stops taking reports is one that stops reading.
#include "usb/win32/Win32ReportPort.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>

namespace tarvane {
namespace {

TEST(ReportWriteTest, AWriteTheBoardNeverTakesGivesUpAtItsLimitAndThePortClosesWithoutWaiting) {
    std::array<std::uint8_t, Win32ReportPort::kTransferSize> taken{};
    const UniqueHandle readDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED boardRead{};
    boardRead.hEvent = readDone.get();

    const std::wstring name = L"\\\\.\\pipe\\tarvane-report-write-" + std::to_wstring(GetCurrentProcessId());
    const UniqueHandle board(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                              PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr));
    ASSERT_TRUE(board);
    auto port = std::make_unique<Win32ReportPort>(
        UniqueHandle(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr)),
        UniqueHandle());

    // While the board reads, the report goes through whole, after report ID 0.
    ASSERT_FALSE(ReadFile(board.get(), taken.data(), Win32ReportPort::kTransferSize, nullptr, &boardRead));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    std::array<std::uint8_t, kReportSize> report{};
    report.fill(0xA5);
    EXPECT_TRUE(port->writeReport(report));
    DWORD got = 0;
    ASSERT_TRUE(GetOverlappedResult(board.get(), &boardRead, &got, TRUE));
    EXPECT_EQ(got, Win32ReportPort::kTransferSize);
    EXPECT_EQ(taken[0], 0);
    EXPECT_EQ(taken[1], 0xA5);
    EXPECT_EQ(taken[kReportSize], 0xA5);

    // Once it stops reading, the write gives up at its limit, left pending.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(port->writeReport(report));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(kReportWriteLimitMs - 50));
    EXPECT_LT(took, std::chrono::milliseconds(1500));

    // Closing returns at once; the pending write is cancelled in the background
    // and the handle closes as soon as it is over.
    const auto closing = std::chrono::steady_clock::now();
    port.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(200));
    DWORD available = 0;
    bool closed = false;
    for (int i = 0; i < 200 && !closed; ++i) {
        closed = !PeekNamedPipe(board.get(), nullptr, 0, nullptr, &available, nullptr) &&
                 GetLastError() == static_cast<DWORD>(ERROR_BROKEN_PIPE);
        if (!closed) Sleep(10);
    }
    EXPECT_TRUE(closed);
}

} // namespace
} // namespace tarvane
