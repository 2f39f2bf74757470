#include "sim/GadgetServer.h"

#include "sim/SimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <system_error>
#include <thread>

namespace tarvane {

namespace {

using Clock = BoardModel::Clock;
using Report = std::array<std::uint8_t, kReportSize>;
using std::chrono::microseconds;

// Longest the server waits or sleeps without looking at the stop flag.
constexpr microseconds kIdleWait{100000};
// An input report the host has not taken within this time is dropped.
constexpr std::chrono::milliseconds kSendTimeout{1000};

std::string lastError() { return std::system_category().message(errno); }

microseconds until(Clock::time_point t, Clock::time_point now) {
    return std::clamp(std::chrono::ceil<microseconds>(t - now), microseconds{0}, kIdleWait);
}

// Waits at most `limit` for `events`. A device whose host is gone reports
// POLLERR or POLLHUP at once on every call, so then the limit is slept out
// instead of spinning. A signal ends the wait early, for the stop flag.
bool waitFor(int fd, short events, microseconds limit) {
    const auto end = Clock::now() + limit;
    pollfd p{fd, events, 0};
    timespec ts{};
    ts.tv_sec = static_cast<std::time_t>(limit.count() / 1000000);
    ts.tv_nsec = static_cast<long>(limit.count() % 1000000 * 1000);
    const int rc = ::ppoll(&p, 1, &ts, nullptr);
    if (rc > 0 && (p.revents & events) != 0) return true;
    if (rc > 0 || (rc < 0 && errno != EINTR)) std::this_thread::sleep_until(end);
    return false;
}

// Sends one input report; false with the reason when it had to be dropped.
bool sendReport(int fd, const Report& report, const std::atomic<bool>& stop, std::string& why) {
    const auto deadline = Clock::now() + kSendTimeout;
    for (;;) {
        const ssize_t n = ::write(fd, report.data(), report.size());
        if (n == static_cast<ssize_t>(report.size())) return true;
        if (n >= 0) {
            why = "the device took part of a report";
            return false;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            why = lastError();
            return false;
        }
        // EAGAIN: the host has not yet taken the previous report.
        const auto now = Clock::now();
        if (now >= deadline || stop.load()) {
            why = "the host took no report for 1 s";
            return false;
        }
        waitFor(fd, POLLOUT, until(deadline, now));
    }
}

enum class ReadStatus { Got, Nothing, Failed };

ReadStatus readReport(int fd, Report& report, std::string& why) {
    report.fill(0);
    const ssize_t n = ::read(fd, report.data(), report.size());
    // A shorter report is padded with zeros, as a full-length one would be.
    if (n > 0) return ReadStatus::Got;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return ReadStatus::Nothing;
    why = n == 0 ? "end of file" : lastError();
    return ReadStatus::Failed;
}

void writeDump(const BoardModel& board, const std::string& path, std::ostream& diagnostics) {
    if (!dumpFlash(board, path)) diagnostics << "tarvane-sim: cannot write the flash to " << path << std::endl;
}

} // namespace

UniqueFd openGadgetDevice(const std::string& path, std::string& error) {
    UniqueFd device(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!device.valid()) error = "cannot open " + path + ": " + lastError();
    return device;
}

void serveBoardOnGadget(BoardModel& board, const UniqueFd& device, const std::string& dumpPath,
                        const std::atomic<bool>& stop, std::ostream& diagnostics) {
    const int fd = device.get();
    board.connect();
    Report report{};
    std::uint32_t dumpedRequests = board.requestCount();
    Clock::time_point lastRead{};
    bool readFailing = false;
    bool closedNoted = false;

    while (!stop.load()) {
        const auto now = Clock::now();
        while (board.takeReport(report, now)) {
            std::string why;
            if (!sendReport(fd, report, stop, why)) diagnostics << "tarvane-sim: answer dropped: " << why << std::endl;
        }
        // No connection to drop on USB: the board stays silent, as if pulled from the bus.
        if (!closedNoted && board.connectionClosed()) {
            diagnostics << "tarvane-sim: the board answers nothing more (it dropped the connection)" << std::endl;
            closedNoted = true;
        }

        // Wake for the next due answer; the timing model needs sub-millisecond waits.
        microseconds wait = kIdleWait;
        if (const auto next = board.nextReportTime()) wait = until(*next, now);
        if (!dumpPath.empty() && board.requestCount() != dumpedRequests) {
            const auto due = lastRead + kGadgetDumpQuiet;
            if (now >= due) {
                writeDump(board, dumpPath, diagnostics);
                dumpedRequests = board.requestCount();
            } else {
                wait = std::min(wait, until(due, now));
            }
        }

        if (board.readingStopped()) {
            // A hung board: the host's reports back up in the kernel unread.
            std::this_thread::sleep_for(wait);
            continue;
        }
        if (!waitFor(fd, POLLIN, wait)) continue;
        std::string why;
        switch (readReport(fd, report, why)) {
        case ReadStatus::Got:
            readFailing = false;
            lastRead = Clock::now();
            board.receiveReport(report, lastRead);
            break;
        case ReadStatus::Nothing:
            break;
        case ReadStatus::Failed:
            if (!readFailing) diagnostics << "tarvane-sim: cannot read from the device: " << why << std::endl;
            readFailing = true;
            // The host is gone until the board is plugged in again; do not spin meanwhile.
            std::this_thread::sleep_until(now + wait);
            break;
        }
    }
    if (!dumpPath.empty()) writeDump(board, dumpPath, diagnostics);
}

} // namespace tarvane
