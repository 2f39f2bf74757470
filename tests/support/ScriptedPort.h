#pragma once

#include "link/FrameCodec.h"
#include "usb/HidBootDevice.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tarvane::test {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// A board whose answers a test scripts: every complete request frame goes to
// `answer`, which returns the frames to send back (possibly none).
struct ScriptedBoard {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::array<std::uint8_t, 64>> outgoing;
    FrameDecoder<1000> decoder;
    std::vector<std::pair<Clock::time_point, Bytes>> requests;
    std::function<std::vector<Bytes>(const Bytes& request)> answer;
    int reads = 0;
    bool broken = false;
    // Reads give up at once instead of waiting for their limit, as a port
    // that ignores it would.
    bool readsReturnAtOnce = false;

    static Bytes frame(Bytes payload) {
        payload.resize(payload.size() + 2);
        Bytes out(1000);
        out.resize(encodeFrame(payload.data(), payload.size() - 2, out.data(), out.size()));
        return out;
    }

    void queueBytes(const Bytes& bytes) {
        for (std::size_t pos = 0; pos < bytes.size(); pos += 64) {
            std::array<std::uint8_t, 64> report{};
            std::memcpy(report.data(), bytes.data() + pos, std::min<std::size_t>(64, bytes.size() - pos));
            outgoing.push_back(report);
        }
        arrived.notify_all();
    }

    void breakConnection() {
        std::lock_guard lock(mutex);
        broken = true;
        arrived.notify_all();
    }
    int readCount() {
        std::lock_guard lock(mutex);
        return reads;
    }
    std::vector<std::pair<Clock::time_point, Bytes>> requestsSoFar() {
        std::lock_guard lock(mutex);
        return requests;
    }

    std::size_t count(std::uint8_t command) {
        std::lock_guard lock(mutex);
        std::size_t n = 0;
        for (auto& r : requests) n += (!r.second.empty() && r.second[0] == command) ? 1u : 0u;
        return n;
    }
};

class ScriptedPort : public ReportPort {
public:
    explicit ScriptedPort(std::shared_ptr<ScriptedBoard> board) : board_(std::move(board)) {}

    bool writeReport(ReportView report) override {
        std::lock_guard lock(board_->mutex);
        if (board_->broken) return false;
        board_->decoder.decodeBytes(report.data(), report.size());
        const auto frame = board_->decoder.take();
        if (frame.empty()) return true;
        Bytes request(frame.begin(), frame.end());
        board_->decoder.reset();
        board_->requests.emplace_back(Clock::now(), request);
        if (board_->answer) {
            for (const Bytes& bytes : board_->answer(request)) board_->queueBytes(bytes);
        }
        return true;
    }

    ReadResult readReport(ReportBuffer report, int timeoutMs) override {
        std::unique_lock lock(board_->mutex);
        ++board_->reads;
        if (board_->broken) return ReadResult::Error;
        const int waitMs = board_->readsReturnAtOnce ? 0 : timeoutMs;
        if (!board_->arrived.wait_for(lock, std::chrono::milliseconds(waitMs),
                                      [&] { return !board_->outgoing.empty() || board_->broken; })) {
            return ReadResult::Timeout;
        }
        if (board_->broken) return ReadResult::Error;
        std::memcpy(report.data(), board_->outgoing.front().data(), 64);
        board_->outgoing.pop_front();
        return ReadResult::Report;
    }

private:
    std::shared_ptr<ScriptedBoard> board_;
};

inline PortOpener scriptedOpener(std::shared_ptr<ScriptedBoard> board) {
    return [board](const DeviceAddress&, std::uint16_t, std::uint16_t, std::string&) -> std::unique_ptr<ReportPort> {
        return std::make_unique<ScriptedPort>(board);
    };
}

} // namespace tarvane::test
