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

// What a client that comes while another is served is told before it is
// closed: one line of text, which no report could be mistaken for.
constexpr char kInUseLine[] = "the board is in use by another program\n";
constexpr int kRefusalSendMs = 100;

// Takes what the client has sent, once or until nothing is left, handing
// each whole report to the board. False when the client has gone; `reason`
// then says how.
bool receiveFrom(Socket& client, BoardModel& board, std::array<std::uint8_t, kReportSize>& incoming,
                 std::size_t& incomingBytes, bool drain, const char*& reason) {
    for (;;) {
        const auto got = client.receive(incoming.data() + incomingBytes, incoming.size() - incomingBytes);
        if (got.status == Socket::Received::Status::Closed) {
            reason = "client closed";
            return false;
        }
        if (got.status == Socket::Received::Status::Error) {
            reason = "socket error";
            return false;
        }
        if (got.status == Socket::Received::Status::WouldBlock) return true;
        incomingBytes += got.bytes;
        if (incomingBytes == incoming.size()) {
            board.receiveReport(incoming, Clock::now());
            incomingBytes = 0;
        }
        if (!drain) return true;
    }
}

void refuse(Socket& listener, std::ostream& diagnostics) {
    Socket late = listener.accept(microseconds{0});
    if (!late.valid()) return;
    late.sendAll(reinterpret_cast<const std::uint8_t*>(kInUseLine), sizeof kInUseLine - 1, kRefusalSendMs);
    late.close();
    diagnostics << "tarvane-sim: connection refused: the board is in use" << std::endl;
}

// Why a connection ended, for the diagnostics. A client that connects
// meanwhile is refused at once, so that two hosts never drive one board.
const char* serveConnection(BoardModel& board, Socket& client, Socket& listener, const std::atomic<bool>& stop,
                            std::ostream& diagnostics) {
    board.connect();
    std::array<std::uint8_t, kReportSize> incoming{};
    std::size_t incomingBytes = 0;
    std::array<std::uint8_t, kReportSize> outgoing{};
    const char* reason = "stopping";

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
            // A hung board: the client's reports pile up in the socket unread,
            // and it stays held.
            refuse(listener, diagnostics);
            std::this_thread::sleep_for(wait);
            continue;
        }
        bool ready[2] = {false, false};
        const Socket::Wait waited = Socket::waitEitherReadable(client, listener, wait, ready);
        if (waited == Socket::Wait::Error) return "socket error";
        if (waited == Socket::Wait::Timeout) continue;
        // Before a newcomer is refused, all the client has sent: one that
        // closed just before the next connected has left, and that one is
        // served next.
        const bool newcomer = ready[1];
        if (!receiveFrom(client, board, incoming, incomingBytes, newcomer, reason)) return reason;
        if (newcomer) refuse(listener, diagnostics);
    }
    return reason;
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
        const char* reason = serveConnection(board, client, listener, stop, diagnostics);
        client.close();
        diagnostics << "tarvane-sim: connection ended: " << reason << std::endl;
        if (!dumpPath.empty() && !dumpFlash(board, dumpPath)) {
            diagnostics << "tarvane-sim: cannot write the flash to " << dumpPath << std::endl;
        }
    }
}

} // namespace tarvane
