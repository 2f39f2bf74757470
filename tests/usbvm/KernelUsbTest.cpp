// Whole updates through the Linux kernel's own USB HID stack: tarvane-sim
// serves a gadget HID function on a dummy host controller, the kernel
// enumerates it through usbhid as /dev/hidrawN, and tarvane-update finds and
// updates it through hidapi exactly as a user's board. Runs as root inside
// the virtual machine that scripts/test-usb.sh boots; judged from outside the
// updater: exit status, output, the board's request log and flash dump.
#include "link/BootloaderLink.h"
#include "link/Protocol.h"
#include "tests/support/BoardRecord.h"
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"
#include "tests/usbvm/UsbGadget.h"
#include "usb/PortFactory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <thread>

namespace tarvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const fs::path kExamples = fs::path(TARVANE_SOURCE_DIR) / "examples";
const std::string kDisplayFile = (kExamples / "Tarvane_Display_Board_2064.hex").string();
const std::string kInterfaceFile = (kExamples / "Tarvane_Interface_Board_2048.hex").string();

Lines tail(const Lines& lines, std::size_t n) {
    return n >= lines.size() ? lines : Lines(lines.end() - static_cast<long>(n), lines.end());
}

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void figure(const char* what, double value, const char* unit) {
    std::printf("[ figure ] %s: %.2f %s\n", what, value, unit);
    std::fflush(stdout);
}

// One board on the bus: its gadget and the simulated bootloader behind it.
struct Board {
    std::unique_ptr<test::UsbGadget> gadget;
    std::unique_ptr<test::SimProcess> sim;
    fs::path log;
    fs::path dump;
    std::string hostDevice;

    std::vector<test::LoggedRequest> requests() const { return test::readRequestLog(log); }
    // Ends the simulated board, which writes its flash as it goes.
    std::vector<std::uint8_t> stopAndReadFlash() {
        sim->stop();
        return test::readBytes(dump);
    }
};

struct KernelUsb : ::testing::Test {
    test::ScratchDir scratch;
    const fs::path& dir = scratch.path();
    int made = 0;

    // A gadget with the bootloader's identity on controller `udc`, not plugged in yet.
    Board makeBoard(const std::string& serial, int udc) {
        Board board;
        board.gadget = std::make_unique<test::UsbGadget>("tarvane" + std::to_string(made++), serial,
                                                         "dummy_udc." + std::to_string(udc));
        EXPECT_TRUE(board.gadget->created()) << board.gadget->error();
        board.log = dir / (serial + ".log");
        board.dump = dir / (serial + ".dump");
        return board;
    }

    // Plugs the board in and waits until the host has enumerated it.
    void plugIn(Board& board) {
        ASSERT_TRUE(board.gadget->plugIn()) << board.gadget->error();
        board.hostDevice = board.gadget->waitForHostDevice(10s);
        ASSERT_FALSE(board.hostDevice.empty()) << "the host never enumerated " << board.gadget->serial();
    }

    // Starts the simulated bootloader on the board's gadget device.
    void serve(Board& board, std::vector<std::string> faults = {}) {
        faults.insert(faults.end(), {"--log", board.log.string(), "--dump", board.dump.string()});
        board.sim = std::make_unique<test::SimProcess>(test::SimProcess::Gadget{board.gadget->boardDevice()}, faults);
        ASSERT_TRUE(board.sim->started()) << board.sim->error();
    }

    Board pluggedBoard(const std::string& serial, std::vector<std::string> faults = {}, int udc = 0) {
        Board board = makeBoard(serial, udc);
        plugIn(board);
        serve(board, std::move(faults));
        return board;
    }

    static test::ProcessResult update(const std::string& board, const std::string& file,
                                      const std::string& device = "usb", std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--board", board, "--device", device};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return test::runProcess(kUpdate, args, 180);
    }

    static void expectUpdated(const test::ProcessResult& r, Board& board, const std::string& file) {
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const Lines out = test::splitLines(r.out);
        EXPECT_EQ(tail(out, test::successLog().size()), test::successLog());
        EXPECT_EQ(test::flashMismatch(board.stopAndReadFlash(), file), "");
    }

    // A file of 50 records, so that lossy boards finish in a few seconds.
    std::string smallFile() {
        const auto hex = test::generateHex({{0x9D000000, test::patternBytes(800, 7)}});
        const fs::path path = dir / "small.hex";
        std::ofstream(path) << hex.text;
        return path.string();
    }
};

TEST_F(KernelUsb, ListShowsTheBoardAtItsUsbAddress) {
    Board board = makeBoard("TVA-LIST", 0);
    plugIn(board);
    const auto r = test::runProcess(kUpdate, {"--list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Lines lines = test::splitLines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(lines[0].rfind("usb:" + board.hostDevice + "\t", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("\"TVA-LIST\""), std::string::npos) << lines[0];
}

TEST_F(KernelUsb, EachSampleIsUpdatedThroughTheKernel) {
    for (const auto& [kind, file, starts] : {std::tuple{"interface", kInterfaceFile, false},
                                             std::tuple{"display", kDisplayFile, true}}) {
        SCOPED_TRACE(kind);
        Board board = pluggedBoard(std::string("TVA-") + kind);
        const auto r = update(kind, file);
        const Lines out = test::splitLines(r.out);
        ASSERT_GE(out.size(), 2u);
        EXPECT_EQ(out[0], std::string(kind == std::string("display") ? "Display" : "Interface") + " board selected");
        EXPECT_EQ(Lines(out.begin() + 2, out.end()), test::successLog());
        expectUpdated(r, board, file);
        const auto requests = board.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(test::countRequests(requests, CMD_START_APP), starts ? 1u : 0u);
        if (starts) {
            EXPECT_EQ(requests.back().command, CMD_START_APP);
        }
        figure(starts ? "whole Display update through the kernel" : "whole Interface update through the kernel",
               r.seconds, "s");
    }
}

TEST_F(KernelUsb, TheChosenOfTwoBoardsIsUpdatedAndAllChecksBoth) {
    Board first = pluggedBoard("TVA-FIRST", {}, 0);
    Board second = pluggedBoard("TVA-SECOND", {}, 1);
    const auto list = test::runProcess(kUpdate, {"--list"});
    std::string address;
    for (const auto& line : test::splitLines(list.out)) {
        if (line.find("\"TVA-SECOND\"") != std::string::npos) address = line.substr(0, line.find('\t'));
    }
    ASSERT_EQ(address, "usb:" + second.hostDevice) << list.out;

    const auto updated = update("display", kDisplayFile, address);
    EXPECT_TRUE(first.requests().empty());

    // --all takes both; only the chosen one holds the file, and checking changes neither.
    const auto check = test::runProcess(kUpdate, {"--board", "display", "--all", "--verify-only", kDisplayFile}, 180);
    EXPECT_EQ(check.exitCode, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("[" + address + "] verified in "), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("[usb:" + first.hostDevice + "] failed (verification) after "), std::string::npos);
    for (const auto& request : first.requests()) EXPECT_TRUE(request.command == CMD_QUERY || request.command == CMD_VERIFY);

    expectUpdated(updated, second, kDisplayFile);
    const auto untouched = first.stopAndReadFlash();
    ASSERT_EQ(untouched.size(), 512u * 1024);
    EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(KernelUsb, WaitPicksUpABoardPluggedInAfterTheCommandStarts) {
    Board board = makeBoard("TVA-WAIT", 0);
    auto pending = std::async(std::launch::async, [] { return update("interface", kInterfaceFile, "usb", {"--wait", "15"}); });
    std::this_thread::sleep_for(2s);
    ASSERT_EQ(pending.wait_for(0s), std::future_status::timeout) << "the command did not wait";
    plugIn(board);
    serve(board);
    expectUpdated(pending.get(), board, kInterfaceFile);
}

TEST_F(KernelUsb, UnpluggedWhileProgrammingEndsInBoundedTimeWithoutSpinning) {
    // Slow answers keep the program phase long enough to pull the cable in it.
    Board board = pluggedBoard("TVA-UNPLUG", {"--delay", "20"});
    const auto started = Clock::now();
    auto pending = std::async(std::launch::async, [] { return update("display", kDisplayFile); });
    const auto deadline = Clock::now() + 60s;
    while (test::countRequests(board.requests(), CMD_PROGRAM) < 20 && Clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_GE(test::countRequests(board.requests(), CMD_PROGRAM), 20u);
    const double unpluggedAt = secondsSince(started);
    ASSERT_TRUE(board.gadget->unplug()) << board.gadget->error();

    const auto r = pending.get();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const Lines out = test::splitLines(r.out);
    const Lines last = tail(out, 5);
    EXPECT_TRUE(last == test::noResponseLog() || last == test::stallLog()) << r.out;
    EXPECT_EQ(std::count(out.begin(), out.end(), "Programming complete"), 0);
    const double endedAfter = r.seconds - unpluggedAt;
    figure("unplugged while programming: the update ended after", endedAfter, "s");
    figure("CPU time of the whole command", r.cpuSeconds, "s");
    EXPECT_LT(endedAfter, 15.0);
    // A worker spinning on the vanished device would burn a core until the end.
    EXPECT_LT(r.cpuSeconds, 0.5 * r.seconds);
}

TEST_F(KernelUsb, AUserWithoutAccessIsToldAboutTheUdevRule) {
    Board board = pluggedBoard("TVA-DENIED");
    // devtmpfs makes /dev/hidrawN root's alone (0600), as a system without the rule does.
    const auto r = test::runProcess("/usr/bin/setpriv", {"--reuid=1000", "--regid=1000", "--clear-groups", kUpdate,
                                                         "--board", "display", "--device", "usb", kDisplayFile});
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    const Lines err = test::splitLines(r.err);
    ASSERT_GE(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0], "error: Device not found");
    EXPECT_NE(err[1].find(board.hostDevice), std::string::npos) << err[1];
    EXPECT_NE(err[1].find("70-tarvane-bootloader.rules"), std::string::npos) << err[1];
    EXPECT_TRUE(board.requests().empty());
}

TEST_F(KernelUsb, LossyAndSlowBoardsStillEndUpdated) {
    const std::string small = smallFile();
    {
        SCOPED_TRACE("lossy");
        Board board = pluggedBoard("TVA-LOSSY", {"--drop-every", "4", "--corrupt-crc-every", "5"});
        const auto r = update("display", small);
        expectUpdated(r, board, small);
        figure("lossy board, small file", r.seconds, "s");
    }
    {
        SCOPED_TRACE("slow");
        Board board = pluggedBoard("TVA-SLOW", {"--usb-timing", "--delay", "15"});
        const auto r = update("interface", kInterfaceFile);
        expectUpdated(r, board, kInterfaceFile);
        figure("slow board (USB timing model + 15 ms per answer), Interface sample", r.seconds, "s");
    }
}

TEST_F(KernelUsb, BoardThatStopsReadingCannotHangTheUpdater) {
    // How long writing one output report can take: a plugged-in board whose
    // bootloader takes nothing (no tarvane-sim behind the gadget). The kernel
    // holds such a write for seconds; the port gives up on it sooner.
    {
        Board board = makeBoard("TVA-DEAF", 0);
        plugIn(board);
        std::string detail;
        const auto address = parseDeviceAddress("usb:" + board.hostDevice, detail);
        ASSERT_TRUE(address) << detail;
        auto port = openReportPort(*address, kBootloaderVendorId, kBootloaderProductId, detail);
        ASSERT_TRUE(port) << detail;
        std::array<std::uint8_t, kReportSize> report{};
        double longest = 0;
        int failed = 0;
        for (int i = 0; i < 12 && failed < 2; ++i) {
            const auto t = Clock::now();
            failed += port->writeReport(report) ? 0 : 1;
            longest = std::max(longest, secondsSince(t));
        }
        figure("longest write of one report to a board that reads nothing", longest, "s");
        EXPECT_EQ(failed, 2) << "writes to a board that reads nothing never failed";
        EXPECT_LT(longest, 1.5);
    }

    // How long stopping the link takes while its worker is stuck in such a write.
    {
        Board board = pluggedBoard("TVA-STALL", {"--stop-reading-after", "20"});
        BootloaderLink link;
        ASSERT_EQ(useDeviceAddress(link, "usb:" + board.hostDevice), "");
        ASSERT_TRUE(link.findDevice(kBootloaderVendorId, kBootloaderProductId)) << link.deviceDetail();
        link.setNotifier([](LinkMessage) {});
        ASSERT_TRUE(link.openFile(kDisplayFile));
        link.startWorker();
        ASSERT_TRUE(link.sendRequest(CMD_PROGRAM, 3, 1000));
        std::this_thread::sleep_for(3s);
        EXPECT_EQ(board.requests().size(), 20u);
        const auto t = Clock::now();
        link.stopWorker();
        const double stopped = secondsSince(t);
        link.closeDevice();
        figure("stopping the link while it writes to a board that stopped reading", stopped, "s");
        EXPECT_LT(stopped, 1.5);
    }

    // And the whole update ends with its failure lines.
    Board board = pluggedBoard("TVA-HANG", {"--stop-reading-after", "30"});
    const auto r = update("display", kDisplayFile);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const Lines last = tail(test::splitLines(r.out), 5);
    EXPECT_TRUE(last == test::noResponseLog() || last == test::stallLog()) << r.out;
    figure("update against a board that stops reading: ended after", r.seconds, "s");
    EXPECT_LT(r.seconds, 40.0);
}

TEST_F(KernelUsb, TheWindowUpdatesABoardThroughTheKernel) {
#ifndef TARVANE_QT_FLOW_TESTS
    GTEST_SKIP() << "built without the Qt window";
#else
    Board board = pluggedBoard("TVA-WINDOW");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TARVANE_FLOW_DEVICE", "usb", 1);
    // The window's own flow test: two whole updates of the Display board, clicked through.
    const auto r = test::runProcess(TARVANE_QT_FLOW_TESTS, {"wholeUpdateAgainstTheSimulatedBoard"}, 180);
    unsetenv("TARVANE_FLOW_DEVICE");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(test::countRequests(board.requests(), CMD_ERASE), 2u);
    EXPECT_EQ(test::flashMismatch(board.stopAndReadFlash(), kDisplayFile), "");
#endif
}

} // namespace
} // namespace tarvane
