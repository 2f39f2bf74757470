// Whole updates through the USB back-end: the window's update sequence, the
// link and HidBootDevice over HidReportPort, with a fake HID library whose
// device is the simulated board. Only the system's C calls are left out.
#include "cli/BoardRun.h"
#include "cli/PlainOutput.h"
#include "sim/SimulatedBoard.h"
#include "tests/usb/FakeHidApi.h"
#include "usb/hidapi/HidSearch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace tarvane {
namespace {

using Clock = std::chrono::steady_clock;

// The board as a HID device: 65-byte writes with report ID 0, 64-byte reads.
struct BoardWire {
    std::shared_ptr<SimulatedBoard> board = std::make_shared<SimulatedBoard>();
    std::atomic<bool> unplugged{false};
    std::atomic<int> badWrites{0};
    std::atomic<int> readsAfterUnplug{0};
};

class BoardConnection final : public HidConnection {
public:
    explicit BoardConnection(std::shared_ptr<BoardWire> wire) : wire_(std::move(wire)) { wire_->board->connect(); }

    int write(std::span<const std::uint8_t> data) override {
        if (wire_->unplugged) return -1;
        if (data.size() != kReportSize + 1 || data[0] != 0) {
            ++wire_->badWrites;
            return -1;
        }
        std::this_thread::sleep_until(wire_->board->receiveReport(data.subspan<1, kReportSize>()));
        return static_cast<int>(data.size());
    }
    int readTimeout(std::span<std::uint8_t> data, int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (wire_->unplugged) {
                ++wire_->readsAfterUnplug;
                return -1; // at once, as the library answers for a vanished device
            }
            const auto now = Clock::now();
            if (wire_->board->takeReport(data.first<kReportSize>(), now)) return static_cast<int>(kReportSize);
            if (now >= deadline) return 0;
            std::this_thread::sleep_until(std::min(deadline, now + std::chrono::milliseconds(1)));
        }
    }
    std::string error() override { return "gone"; }

private:
    std::shared_ptr<BoardWire> wire_;
};

class BoardHidApi final : public HidApi {
public:
    explicit BoardHidApi(std::shared_ptr<BoardWire> wire) : wire_(std::move(wire)) {}
    std::vector<HidDeviceInfo> enumerate(std::uint16_t, std::uint16_t) override {
        return {{"/dev/hidraw7", 0x04D8, 0x003C, "", ""}};
    }
    std::unique_ptr<HidConnection> open(const std::string&) override {
        return std::make_unique<BoardConnection>(wire_);
    }
    std::string error() override { return {}; }
    bool accessDenied(const std::string&) override { return false; }

private:
    std::shared_ptr<BoardWire> wire_;
};

struct UpdateRun {
    UpdateOutcome outcome;
    std::string out;
    std::string err;
};

// What tarvane-update does, with the device opened through `api`.
UpdateRun update(HidApi& api) {
    std::ostringstream out;
    std::ostringstream err;
    const PortOpener opener = [&api](const DeviceAddress& a, std::uint16_t vid, std::uint16_t pid, std::string& detail) {
        return openHidBootloader(api, a.path, vid, pid, detail);
    };
    BoardRun board({DeviceAddress{}, opener}, std::make_unique<PlainOutput>(out, err, false));
    UpdateOptions options;
    options.file = TARVANE_SOURCE_DIR "/examples/Tarvane_Display_Board_2064.hex";
    const std::atomic<bool> stop{false};
    board.run(options, loadHexFile(options.file), stop);
    return {board.outcome(), out.str(), err.str()};
}

TEST(HidUpdate, AWholeUpdateCrossesTheBackEndIntact) {
    auto wire = std::make_shared<BoardWire>();
    BoardHidApi api(wire);
    const UpdateRun run = update(api);
    EXPECT_EQ(run.outcome, UpdateOutcome::Updated) << run.out << run.err;
    EXPECT_EQ(wire->badWrites, 0);
    EXPECT_GT(wire->board->requestCount(CMD_PROGRAM), 100u);
    EXPECT_EQ(wire->board->requestCount(CMD_START_APP), 1u);
}

TEST(HidUpdate, AnUnpluggedBoardEndsInTheNoResponseLinesWithoutSpinning) {
    auto wire = std::make_shared<BoardWire>();
    // The observer runs with the board locked: count here, never ask the board.
    wire->board->setRequestObserver([w = wire.get(), programs = 0](const SimRequest& r) mutable {
        if (r.command == CMD_PROGRAM && ++programs == 20) w->unplugged = true;
    });
    BoardHidApi api(wire);
    const auto started = Clock::now();
    const UpdateRun run = update(api);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    EXPECT_EQ(run.outcome, UpdateOutcome::NoResponse) << run.out << run.err;
    EXPECT_NE(run.out.find(">> No Response from the device!"), std::string::npos) << run.out;
    // Each failed read sleeps out the 100 ms limit, so reads stay a poll.
    EXPECT_LE(wire->readsAfterUnplug, elapsed.count() / 100 + 5) << elapsed.count() << " ms";
}

TEST(HidUpdate, AccessDeniedIsDeviceNotFoundWithTheFixOnTheSecondLine) {
    test::FakeHidApi api;
    api.add("/dev/hidraw3").denied = true;
    const UpdateRun run = update(api);
    EXPECT_EQ(run.outcome, UpdateOutcome::DeviceNotFound);
    EXPECT_EQ(run.err, "error: Device not found\n" + accessDeniedDetail("/dev/hidraw3") + "\n");
}

} // namespace
} // namespace tarvane
