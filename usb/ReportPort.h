#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvane {

inline constexpr std::size_t kReportSize = 64;

using ReportView = std::span<const std::uint8_t, kReportSize>;
using ReportBuffer = std::span<std::uint8_t, kReportSize>;
using ReportBytes = std::array<std::uint8_t, kReportSize>;

// A read has three answers: a report, nothing within the time limit, or a
// device that is gone. The link treats the last two alike (a missing answer),
// but a back-end must never turn "gone" into a busy loop.
enum class ReadResult { Report, Timeout, Error };

// How long a report write may take. A board that stays on the bus but stops
// taking output reports holds a write for seconds in the system's HID driver;
// a back-end gives up on it after this, so the link's worker stays responsive.
inline constexpr int kReportWriteLimitMs = 1000;

// One opened bootloader that moves 64-byte reports. Implemented per platform
// (hidapi, Win32, TCP, in-process simulator). Both calls run on the worker
// thread only and must return within their time limits.
class ReportPort {
public:
    virtual ~ReportPort() = default;

    // Sends one report; false when it could not be sent.
    virtual bool writeReport(ReportView report) = 0;
    // Sends reports in order and stops at the first that is not sent; true
    // when all were. A back-end that hands writes to another thread passes
    // them on together, so a frame costs one hand-over, not one per report.
    virtual bool writeReports(std::span<const ReportBytes> reports) {
        for (const ReportBytes& report : reports) {
            if (!writeReport(report)) return false;
        }
        return true;
    }
    // Waits at most timeoutMs for one report.
    virtual ReadResult readReport(ReportBuffer report, int timeoutMs) = 0;
};

} // namespace tarvane
