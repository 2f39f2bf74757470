#include "usb/tcp/TcpReportPort.h"

#include "usb/tcp/Socket.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <thread>

namespace tarvane {

namespace {

using Clock = std::chrono::steady_clock;

class TcpReportPort final : public ReportPort {
public:
    // `early` holds bytes that came before the first request: the start of a report.
    TcpReportPort(Socket socket, const std::string& early) : socket_(std::move(socket)) {
        pendingBytes_ = std::min(early.size(), pending_.size());
        std::copy_n(early.begin(), pendingBytes_, pending_.begin());
    }

    bool writeReport(ReportView report) override {
        if (broken_) return false;
        // A report sent in part leaves the stream out of step, so any failure ends it.
        if (!socket_.sendAll(report.data(), report.size(), kTcpWriteTimeoutMs)) breakConnection();
        return !broken_;
    }

    ReadResult readReport(ReportBuffer report, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            // A whole report that came in before the close is still an answer.
            if (takeBuffered(report)) return ReadResult::Report;
            if (broken_) {
                // The worker polls again at once; sleeping out the limit keeps a
                // dead connection from turning that into a busy loop.
                std::this_thread::sleep_until(deadline);
                return ReadResult::Error;
            }

            // A spent limit still takes what has already arrived.
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            const Socket::Wait wait = socket_.waitReadable(std::max(left, std::chrono::microseconds{0}));
            if (wait == Socket::Wait::Error) {
                breakConnection();
                continue;
            }
            if (wait == Socket::Wait::Timeout) {
                if (Clock::now() >= deadline) return ReadResult::Timeout;
                continue;
            }

            const auto got = socket_.receive(pending_.data() + pendingBytes_, pending_.size() - pendingBytes_);
            switch (got.status) {
            case Socket::Received::Status::Data:
                pendingBytes_ += got.bytes;
                break;
            case Socket::Received::Status::WouldBlock:
                break;
            case Socket::Received::Status::Closed:
            case Socket::Received::Status::Error:
                breakConnection();
                break;
            }
        }
    }

private:
    bool takeBuffered(ReportBuffer report) {
        if (pendingBytes_ < kReportSize) return false;
        std::copy_n(pending_.begin(), kReportSize, report.begin());
        pendingBytes_ = 0;
        return true;
    }

    void breakConnection() {
        broken_ = true;
        socket_.close();
    }

    Socket socket_;
    // Bytes of a report still arriving; a report is handed out only when whole.
    std::array<std::uint8_t, kReportSize> pending_{};
    std::size_t pendingBytes_ = 0;
    bool broken_ = false;
};

// A board never speaks first, so a connection that closes at once, with or
// without a line of text, was refused: the board serves another host. True
// then, with the text (or nothing) in `said`; otherwise `said` keeps any
// bytes that came.
bool refusedAtOnce(Socket& socket, std::string& said) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTcpRefusalWaitMs);
    std::array<std::uint8_t, kReportSize> bytes{};
    while (said.size() < kReportSize) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        const Socket::Wait wait = socket.waitReadable(left);
        if (wait == Socket::Wait::Error) return true;
        if (wait == Socket::Wait::Timeout) continue;
        const auto got = socket.receive(bytes.data(), kReportSize - said.size());
        switch (got.status) {
        case Socket::Received::Status::Data:
            said.append(bytes.begin(), bytes.begin() + static_cast<long>(got.bytes));
            break;
        case Socket::Received::Status::WouldBlock:
            break;
        case Socket::Received::Status::Closed:
        case Socket::Received::Status::Error:
            return true;
        }
    }
    return false;
}

std::string printable(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    }
    return text;
}

} // namespace

std::unique_ptr<ReportPort> openTcpReportPort(const std::string& host, std::uint16_t port, std::string& error,
                                              bool* inUse) {
    if (inUse) *inUse = false;
    Socket socket = Socket::connectTo(host, port, kTcpConnectTimeoutMs, error);
    if (!socket.valid()) return nullptr;
    std::string said;
    if (refusedAtOnce(socket, said)) {
        if (inUse) *inUse = true;
        const std::string reason = printable(said);
        error = "tcp:" + host + ":" + std::to_string(port) + ": " +
                (reason.empty() ? "the board closed the connection at once" : reason);
        return nullptr;
    }
    return std::make_unique<TcpReportPort>(std::move(socket), said);
}

} // namespace tarvane
