#include "sim/SimServer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

namespace tarvane {

namespace {

using Clock = BoardModel::Clock;
using std::chrono::microseconds;

// Longest the server sleeps without looking at the stop flag.
constexpr microseconds kIdleWait{100000};
// A client that takes no answer for this long is treated as gone.
constexpr int kSendTimeoutMs = 1000;

// Why a connection ended, for the diagnostics.
const char* serveConnection(BoardModel& board, Socket& client, const std::atomic<bool>& stop) {
    board.connect();
    std::array<std::uint8_t, kReportSize> incoming{};
    std::size_t incomingBytes = 0;
    std::array<std::uint8_t, kReportSize> outgoing{};

    while (!stop.load()) {
        const auto now = Clock::now();
        while (board.takeReport(outgoing, now)) {
            if (!client.sendAll(outgoing.data(), outgoing.size(), kSendTimeoutMs)) return "cannot send to the client";
        }
        if (board.connectionClosed()) return "closed by the board";

        // Wake for the next due answer; the timing model needs sub-millisecond waits.
        microseconds wait = kIdleWait;
        if (const auto next = board.nextReportTime()) {
            wait = std::clamp(std::chrono::ceil<microseconds>(*next - now), microseconds{0}, kIdleWait);
        }
        if (board.readingStopped()) {
            // A hung board: the client's reports pile up in the socket unread.
            std::this_thread::sleep_for(wait);
            continue;
        }
        const Socket::Wait ready = client.waitReadable(wait);
        if (ready == Socket::Wait::Error) return "socket error";
        if (ready == Socket::Wait::Timeout) continue;

        const auto got = client.receive(incoming.data() + incomingBytes, incoming.size() - incomingBytes);
        if (got.status == Socket::Received::Status::Closed) return "client closed";
        if (got.status == Socket::Received::Status::Error) return "socket error";
        incomingBytes += got.bytes;
        if (incomingBytes == incoming.size()) {
            board.receiveReport(incoming, Clock::now());
            incomingBytes = 0;
        }
    }
    return "stopping";
}

} // namespace

bool dumpFlash(const BoardModel& board, const std::string& path) {
    const std::vector<std::uint8_t> flash = board.flash();
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void serveBoard(BoardModel& board, Socket& listener, const std::string& dumpPath, const std::atomic<bool>& stop,
                std::ostream& diagnostics) {
    while (!stop.load()) {
        const auto asked = Clock::now();
        Socket client = listener.accept(kIdleWait);
        if (!client.valid()) {
            // A failing accept (out of descriptors) must not spin.
            std::this_thread::sleep_until(asked + kIdleWait);
            continue;
        }
        diagnostics << "tarvane-sim: connection opened" << std::endl;
        const char* reason = serveConnection(board, client, stop);
        client.close();
        diagnostics << "tarvane-sim: connection ended: " << reason << std::endl;
        if (!dumpPath.empty() && !dumpFlash(board, dumpPath)) {
            diagnostics << "tarvane-sim: cannot write the flash to " << dumpPath << std::endl;
        }
    }
}

} // namespace tarvane
