// Whole updates through the Linux kernel's own USB HID stack: tarvane-sim
// serves a gadget HID function on a dummy host controller, the kernel
// enumerates it through usbhid as /dev/hidrawN, and an updater finds and
// updates it exactly as a user's board: the Linux tool through hidapi, and
// the Windows builds under Wine, whose HID bus reads the same hidraw devices.
// Runs as root inside the virtual machine that scripts/usb-vm/test-usb.py boots;
// judged from outside the updater: exit status, output, the board's request
// log and flash dump.
#include "link/Protocol.h"
#include "tests/support/BoardRecord.h"
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"
#include "tests/usbvm/UsbGadget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace tarvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

const std::string kBin = TARVANE_BIN_DIR;
const fs::path kExamples = fs::path(TARVANE_SOURCE_DIR) / "examples";
const std::string kDisplayFile = (kExamples / "Tarvane_Display_Board_2064.hex").string();
const std::string kInterfaceFile = (kExamples / "Tarvane_Interface_Board_2048.hex").string();

Lines tail(const Lines& lines, std::size_t n) {
    return n >= lines.size() ? lines : Lines(lines.end() - static_cast<long>(n), lines.end());
}

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void figure(const std::string& what, double value, const char* unit) {
    std::printf("[ figure ] %s: %.2f %s\n", what.c_str(), value, unit);
    std::fflush(stdout);
}

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// An updater the scenarios drive: the Linux tool, or a Windows build run by
// Wine, which reaches the same /dev/hidrawN through its own HID bus.
struct Tool {
    std::string name;    // "Linux", "Windows x64", "Windows x86"
    std::string wine;    // the Wine loader; empty for the Linux tool
    std::string bin;     // the folder of tarvane-update and tarvane-port-limits

    bool windows() const { return !wine.empty(); }
    std::string program(const std::string& file) const { return bin + "/" + file + (windows() ? ".exe" : ""); }
    // Runs one of its programs; Windows output loses its CRs.
    test::ProcessResult run(const std::string& file, std::vector<std::string> args, int timeoutSeconds = 180) const {
        if (!windows()) return test::runProcess(program(file), args, timeoutSeconds);
        args.insert(args.begin(), program(file));
        test::ProcessResult r = test::runProcess(wine, args, timeoutSeconds);
        for (std::string* text : {&r.out, &r.err}) std::erase(*text, '\r');
        return r;
    }
    test::ProcessResult update(const std::string& board, const std::string& file, const std::string& device = "usb",
                               std::vector<std::string> extra = {}) const {
        std::vector<std::string> args{"--board", board, "--device", device};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(file);
        return run("tarvane-update", args);
    }
    // `--list`'s address of the board with this serial number; empty when none
    // is listed within 20 s (Wine may see a board plugged in late on a busy host).
    std::string addressOf(const std::string& serial) const {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            for (const auto& line : test::splitLines(run("tarvane-update", {"--list"}).out)) {
                if (line.find("\"" + serial + "\"") != std::string::npos) return line.substr(0, line.find('\t'));
            }
        } while (std::chrono::steady_clock::now() < until);
        return "";
    }
};

void PrintTo(const Tool& tool, std::ostream* os) {
    *os << tool.name;
}

// The Linux tool always; each Windows build that scripts/usb-vm/guest.sh
// hands in: the x64 one under this machine's Wine, the x86 one under 32-bit Wine.
std::vector<Tool> tools() {
    std::vector<Tool> all{{"Linux", "", kBin}};
    const std::string wine = env("TARVANE_USB_WINE");
    if (!wine.empty() && !env("TARVANE_USB_WIN64_BIN").empty())
        all.push_back({"Windows x64", wine, env("TARVANE_USB_WIN64_BIN")});
    const std::string wine32 = env("TARVANE_USB_WINE32");
    if (!wine32.empty() && !env("TARVANE_USB_WIN32_BIN").empty())
        all.push_back({"Windows x86", wine32, env("TARVANE_USB_WIN32_BIN")});
    return all;
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

    // Plugs the board in and waits until the host has enumerated it. Its
    // bootloader, when it has one, answers from the start, as a real board's
    // does: an updater waiting for it may ask at once.
    void plugIn(Board& board, std::optional<std::vector<std::string>> bootloaderFaults = std::nullopt) {
        ASSERT_TRUE(board.gadget->plugIn()) << board.gadget->error();
        if (bootloaderFaults) {
            std::vector<std::string> args = *bootloaderFaults;
            args.insert(args.end(), {"--log", board.log.string(), "--dump", board.dump.string()});
            board.sim = std::make_unique<test::SimProcess>(test::SimProcess::Gadget{board.gadget->boardDevice()}, args);
            ASSERT_TRUE(board.sim->started()) << board.sim->error();
        }
        board.hostDevice = board.gadget->waitForHostDevice(10s);
        ASSERT_FALSE(board.hostDevice.empty()) << "the host never enumerated " << board.gadget->serial();
    }

    Board pluggedBoard(const std::string& serial, std::vector<std::string> faults = {}, int udc = 0) {
        Board board = makeBoard(serial, udc);
        plugIn(board, std::move(faults));
        return board;
    }

    static void expectUpdated(const test::ProcessResult& r, Board& board, const std::string& file) {
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err << board.requests().size() << " requests reached the board";
        const Lines out = test::splitLines(r.out);
        EXPECT_EQ(tail(out, test::successLog().size()), test::successLog());
        EXPECT_EQ(test::flashMismatch(board.stopAndReadFlash(), file), "");
    }

    // Wine hears of a board unplugged by the scenario before only a moment
    // later; until then it would still offer it.
    static void expectWineForgotEveryBoard(const Tool& tool) {
        const auto deadline = Clock::now() + 20s;
        std::string listed;
        while (!(listed = tool.run("tarvane-update", {"--list"}).out).empty() && Clock::now() < deadline) {
            std::this_thread::sleep_for(500ms);
        }
        EXPECT_EQ(listed, "") << "Wine still offers a board unplugged 20 s ago";
    }

    // A file of 50 records, so that lossy boards finish in a few seconds.
    std::string smallFile() {
        const auto hex = test::generateHex({{0x9D000000, test::patternBytes(800, 7)}});
        const fs::path path = dir / "small.hex";
        std::ofstream(path) << hex.text;
        return path.string();
    }
};

// The scenarios every updater must pass, once per tool.
struct EachTool : KernelUsb, ::testing::WithParamInterface<Tool> {
    const Tool& tool = GetParam();
    std::string figureName(const std::string& what) const { return what + " (" + tool.name + ")"; }

    void SetUp() override {
        if (tool.windows()) expectWineForgotEveryBoard(tool);
    }
};

TEST_P(EachTool, ListShowsTheBoardAtItsUsbAddress) {
    Board board = makeBoard("TVA-LIST", 0);
    plugIn(board);
    const auto r = tool.run("tarvane-update", {"--list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Lines lines = test::splitLines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(lines[0].rfind("usb:", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("\"TVA-LIST\""), std::string::npos) << lines[0];
    // Linux names the hidraw node; Windows a device interface path of its own.
    if (!tool.windows()) {
        EXPECT_EQ(lines[0].rfind("usb:" + board.hostDevice + "\t", 0), 0u) << lines[0];
    }
}

TEST_P(EachTool, EachSampleIsUpdatedThroughTheKernel) {
    for (const auto& [kind, file, starts] : {std::tuple{"interface", kInterfaceFile, false},
                                             std::tuple{"display", kDisplayFile, true}}) {
        SCOPED_TRACE(kind);
        Board board = pluggedBoard(std::string("TVA-") + kind);
        const auto r = tool.update(kind, file);
        const Lines out = test::splitLines(r.out);
        ASSERT_GE(out.size(), 2u) << r.out << r.err;
        EXPECT_EQ(out[0], std::string(kind == std::string("display") ? "Display" : "Interface") + " board selected");
        EXPECT_EQ(Lines(out.begin() + 2, out.end()), test::successLog());
        expectUpdated(r, board, file);
        const auto requests = board.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(test::countRequests(requests, CMD_START_APP), starts ? 1u : 0u);
        if (starts) {
            EXPECT_EQ(requests.back().command, CMD_START_APP);
        }
        figure(figureName(starts ? "whole Display update through the kernel"
                                 : "whole Interface update through the kernel"),
               r.seconds, "s");
    }
}

TEST_P(EachTool, TheChosenOfTwoBoardsIsUpdatedAndAllTakesBoth) {
    Board first = pluggedBoard("TVA-FIRST", {}, 0);
    Board second = pluggedBoard("TVA-SECOND", {}, 1);
    const std::string firstAddress = tool.addressOf("TVA-FIRST");
    const std::string secondAddress = tool.addressOf("TVA-SECOND");
    ASSERT_FALSE(firstAddress.empty());
    ASSERT_FALSE(secondAddress.empty());
    if (!tool.windows()) {
        EXPECT_EQ(secondAddress, "usb:" + second.hostDevice);
    }

    // The one named is updated and the other untouched.
    const auto updated = tool.update("display", kDisplayFile, secondAddress);
    EXPECT_EQ(updated.exitCode, 0) << updated.out << updated.err;
    EXPECT_TRUE(first.requests().empty());

    // The other board now holds the other sample: checking tells them apart
    // and changes neither.
    const auto other = tool.update("interface", kInterfaceFile, firstAddress);
    EXPECT_EQ(other.exitCode, 0) << other.out << other.err;
    const std::size_t programmed = test::countRequests(first.requests(), CMD_PROGRAM);
    const auto check = tool.run("tarvane-update", {"--board", "display", "--all", "--verify-only", kDisplayFile});
    EXPECT_EQ(check.exitCode, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("[" + secondAddress + "] verified in "), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("[" + firstAddress + "] failed (verification) after "), std::string::npos) << check.out;
    EXPECT_EQ(test::countRequests(first.requests(), CMD_PROGRAM), programmed);
    EXPECT_EQ(test::countRequests(first.requests(), CMD_VERIFY), 2u);
    figure(figureName("--all --verify-only of two boards"), check.seconds, "s");

    // --all updates both.
    const auto all = tool.run("tarvane-update", {"--board", "display", "--all", kDisplayFile});
    EXPECT_EQ(all.exitCode, 0) << all.out << all.err;
    figure(figureName("--all of two boards, Display sample"), all.seconds, "s");
    for (Board* board : {&first, &second}) {
        EXPECT_EQ(test::flashMismatch(board->stopAndReadFlash(), kDisplayFile), "") << board->gadget->serial();
    }
}

TEST_P(EachTool, WaitPicksUpABoardPluggedInAfterTheCommandStarts) {
    Board board = makeBoard("TVA-WAIT", 0);
    auto pending = std::async(std::launch::async, [this] {
        return tool.update("interface", kInterfaceFile, "usb", {"--wait", "60"});
    });
    // Long enough for the program to be waiting, under Wine too.
    std::this_thread::sleep_for(tool.windows() ? 8s : 2s);
    ASSERT_EQ(pending.wait_for(0s), std::future_status::timeout) << "the command did not wait";
    plugIn(board, std::vector<std::string>{});
    expectUpdated(pending.get(), board, kInterfaceFile);
}

TEST_P(EachTool, UnpluggedWhileProgrammingEndsInBoundedTimeWithoutSpinning) {
    // Slow answers keep the program phase long enough to pull the cable in it.
    Board board = pluggedBoard("TVA-UNPLUG", {"--delay", "20"});
    const auto started = Clock::now();
    auto pending = std::async(std::launch::async, [this] { return tool.update("display", kDisplayFile); });
    const auto deadline = Clock::now() + 120s;
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
    figure(figureName("unplugged while programming: the update ended after"), endedAfter, "s");
    figure(figureName("CPU time of the whole command"), r.cpuSeconds, "s");
    EXPECT_LT(endedAfter, 15.0);
    // A worker spinning on the vanished device would burn a core until the end.
    // Under emulation, Wine's own start takes most of what a Windows build uses.
    EXPECT_LT(r.cpuSeconds, (tool.windows() ? 0.8 : 0.5) * r.seconds);
}

TEST_P(EachTool, BoardThatStopsReadingCannotHangTheUpdater) {
    // How long writing one report and stopping the link take: one board whose
    // bootloader takes nothing (no tarvane-sim behind the gadget), and one that
    // stops reading after 20 requests. The kernel holds such a write for
    // seconds; the port gives up on it sooner.
    {
        Board deaf = makeBoard("TVA-DEAF", 0);
        plugIn(deaf);
        Board stalled = pluggedBoard("TVA-STALL", {"--stop-reading-after", "20"}, 1);
        const auto r = tool.run("tarvane-port-limits",
                                {tool.addressOf("TVA-DEAF"), tool.addressOf("TVA-STALL"), kDisplayFile});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        double write = 99;
        double stop = 99;
        for (const auto& line : test::splitLines(r.out)) {
            std::sscanf(line.c_str(), "write %lf", &write);
            std::sscanf(line.c_str(), "stop %lf", &stop);
        }
        figure(figureName("longest write of one report to a board that reads nothing"), write, "s");
        figure(figureName("stopping the link while it writes to a board that stopped reading"), stop, "s");
        EXPECT_LT(write, 1.5);
        EXPECT_LT(stop, 1.5);
        EXPECT_EQ(stalled.requests().size(), 20u);
    }

    // And the whole update ends with its failure lines.
    Board board = pluggedBoard("TVA-HANG", {"--stop-reading-after", "30"});
    const auto r = tool.update("display", kDisplayFile);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const Lines last = tail(test::splitLines(r.out), 5);
    EXPECT_TRUE(last == test::noResponseLog() || last == test::stallLog()) << r.out;
    figure(figureName("update against a board that stops reading: ended after"), r.seconds, "s");
    EXPECT_LT(r.seconds, 40.0);
}

TEST_P(EachTool, SecondUpdaterIsRefusedAtOnceAndTheFirstEndsAsAlone) {
    // Slow answers keep the first in its program phase while the second starts.
    Board board = pluggedBoard("TVA-BUSY", {"--delay", "80"});
    // What the tool takes to start and find no board at a path: the part of
    // the second's time that is not its refusal (Wine's start above all).
    const std::string nowhere = tool.windows() ? "usb:\\\\?\\hid#nothing#here" : "usb:/dev/hidraw-none";
    const auto absent = tool.update("display", kDisplayFile, nowhere);
    EXPECT_EQ(absent.exitCode, 4) << absent.out << absent.err;

    auto first = std::async(std::launch::async, [this] { return tool.update("display", kDisplayFile); });
    const auto deadline = Clock::now() + 120s;
    while (test::countRequests(board.requests(), CMD_PROGRAM) < 5 && Clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_GE(test::countRequests(board.requests(), CMD_PROGRAM), 5u);

    const auto second = tool.update("display", kDisplayFile);
    EXPECT_EQ(second.exitCode, 4) << second.out << second.err;
    const Lines err = test::splitLines(second.err);
    ASSERT_GE(err.size(), 2u) << second.err;
    EXPECT_EQ(err[0], "error: Device not found");
    EXPECT_NE(err[1].find("is in use by another program"), std::string::npos) << err[1];
    figure(figureName("a second updater refused, whole command"), second.seconds, "s");
    figure(figureName("the same command finding no board at a path"), absent.seconds, "s");
    figure(figureName("a second updater refused, beyond finding no board"), second.seconds - absent.seconds, "s");
    EXPECT_LT(second.seconds - absent.seconds, 1.0);
    if (!tool.windows()) {
        EXPECT_LT(second.seconds, 1.0);
    }

    // --list shows the board, in use.
    const auto listed = tool.run("tarvane-update", {"--list"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("\"TVA-BUSY\"\tin use"), std::string::npos) << listed.out;
    ASSERT_EQ(first.wait_for(0s), std::future_status::timeout) << "the first ended before the second was tried";

    // The first ends as it does alone: its whole log, its flash, and not one
    // request of the second's (whose first would be a query) on the board.
    const auto r = first.get();
    const Lines out = test::splitLines(r.out);
    ASSERT_GE(out.size(), 2u) << r.out << r.err;
    EXPECT_EQ(Lines(out.begin() + 2, out.end()), test::successLog());
    const auto requests = board.requests();
    const auto erase = std::find_if(requests.begin(), requests.end(),
                                    [](const test::LoggedRequest& q) { return q.command == CMD_ERASE; });
    EXPECT_EQ(std::count_if(erase, requests.end(), [](const test::LoggedRequest& q) { return q.command == CMD_QUERY; }),
              0);
    EXPECT_EQ(test::countRequests(requests, CMD_ERASE), 1u);
    EXPECT_EQ(test::countRequests(requests, CMD_VERIFY), 1u);
    expectUpdated(r, board, kDisplayFile);
}

TEST_P(EachTool, StationUpdatesBoardsAsTheyArriveAndEachOnlyOnce) {
    Board first = makeBoard("TVA-ST-FIRST", 0);
    Board second = makeBoard("TVA-ST-SECOND", 1);
    Board current = makeBoard("TVA-ST-CURRENT", 2);
    auto station = std::async(std::launch::async, [this] {
        return tool.run("tarvane-update",
                        {"--board", "display", "--skip-current", "--station", kDisplayFile, "--count", "4"});
    });
    std::this_thread::sleep_for(tool.windows() ? 8s : 2s);
    const auto waitFor = [](const Board& board, std::uint8_t command, std::size_t n) {
        const auto deadline = Clock::now() + 120s;
        while (test::countRequests(board.requests(), command) < n && Clock::now() < deadline) {
            std::this_thread::sleep_for(50ms);
        }
        return test::countRequests(board.requests(), command) >= n;
    };

    // The first arrives; the second while the first programs; then one that
    // already holds the file.
    const auto plugged = Clock::now();
    plugIn(first, std::vector<std::string>{});
    ASSERT_TRUE(waitFor(first, CMD_QUERY, 1));
    figure(figureName("station: from plugging a board in to its first request"), secondsSince(plugged), "s");
    ASSERT_TRUE(waitFor(first, CMD_PROGRAM, 5));
    plugIn(second, std::vector<std::string>{});
    plugIn(current, std::vector<std::string>{"--load", kDisplayFile});
    ASSERT_TRUE(waitFor(first, CMD_START_APP, 1));
    ASSERT_TRUE(waitFor(second, CMD_START_APP, 1));

    // The first is unplugged and plugged in again: it now holds the file.
    std::this_thread::sleep_for(1s);
    first.sim->stop();
    ASSERT_TRUE(first.gadget->unplug()) << first.gadget->error();
    std::this_thread::sleep_for(1s);
    const fs::path firstLog = first.log;
    first.log = dir / "TVA-ST-FIRST-again.log";
    plugIn(first, std::vector<std::string>{"--load", kDisplayFile});

    const auto r = station.get();
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.ends_with("updated 2, already current 2, failed 0\n")) << r.out;
    EXPECT_EQ(test::countRequests(test::readRequestLog(firstLog), CMD_ERASE), 1u);
    EXPECT_EQ(test::countRequests(second.requests(), CMD_ERASE), 1u);
    EXPECT_EQ(test::countRequests(current.requests(), CMD_ERASE), 0u);
    EXPECT_EQ(test::countRequests(first.requests(), CMD_ERASE), 0u);
    EXPECT_EQ(test::countRequests(first.requests(), CMD_VERIFY), 1u);
    figure(figureName("station: four boards, two updated"), r.seconds, "s");
}

INSTANTIATE_TEST_SUITE_P(Tools, EachTool, ::testing::ValuesIn(tools()),
                         [](const ::testing::TestParamInfo<Tool>& each) {
                             std::string name = each.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

// What only the Linux tool and window have.
TEST_F(KernelUsb, AUserWithoutAccessIsToldAboutTheUdevRule) {
    Board board = pluggedBoard("TVA-DENIED");
    // devtmpfs makes /dev/hidrawN root's alone (0600), as a system without the rule does.
    const auto r = test::runProcess("/usr/bin/setpriv", {"--reuid=1000", "--regid=1000", "--clear-groups",
                                                         kBin + "/tarvane-update", "--board", "display", "--device",
                                                         "usb", kDisplayFile});
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    const Lines err = test::splitLines(r.err);
    ASSERT_GE(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0], "error: Device not found");
    EXPECT_NE(err[1].find(board.hostDevice), std::string::npos) << err[1];
    EXPECT_NE(err[1].find("70-tarvane-bootloader.rules"), std::string::npos) << err[1];
    EXPECT_TRUE(board.requests().empty());
}

TEST_F(KernelUsb, LossyAndSlowBoardsStillEndUpdated) {
    const Tool native{"Linux", "", kBin};
    const std::string small = smallFile();
    {
        SCOPED_TRACE("lossy");
        Board board = pluggedBoard("TVA-LOSSY", {"--drop-every", "4", "--corrupt-crc-every", "5"});
        const auto r = native.update("display", small);
        expectUpdated(r, board, small);
        figure("lossy board, small file", r.seconds, "s");
    }
    {
        SCOPED_TRACE("slow");
        Board board = pluggedBoard("TVA-SLOW", {"--usb-timing", "--delay", "15"});
        const auto r = native.update("interface", kInterfaceFile);
        expectUpdated(r, board, kInterfaceFile);
        figure("slow board (USB timing model + 15 ms per answer), Interface sample", r.seconds, "s");
    }
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

// The Win32 window's own flow test, clicked through under Wine against a
// board on the bus; scripts/usb-vm/guest.sh gives it a virtual display.
struct WineWindow : KernelUsb {};

TEST_F(WineWindow, TheWindowsWindowUpdatesABoardThroughTheKernel) {
    const Tool tool{"Windows x64", env("TARVANE_USB_WINE"), env("TARVANE_USB_WIN64_BIN")};
    if (!tool.windows() || tool.bin.empty() || env("DISPLAY").empty()) GTEST_SKIP() << "run with the Windows programs";
    expectWineForgotEveryBoard(tool);
    Board board = pluggedBoard("TVA-WIN32-WINDOW");
    setenv("TARVANE_FLOW_DEVICE", "usb", 1);
    const auto r = tool.run("tarvane_win32_tests",
                            {"--gtest_filter=WindowTest.WholeUpdateOnTheSimulatedBoardAndNoDeviceAtAll"}, 240);
    unsetenv("TARVANE_FLOW_DEVICE");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto requests = board.requests();
    EXPECT_EQ(test::countRequests(requests, CMD_ERASE), 1u);
    EXPECT_EQ(test::countRequests(requests, CMD_VERIFY), 1u);
    figure("the Win32 window's whole update (Windows x64, Wine's desktop included)", r.seconds, "s");
}

} // namespace
} // namespace tarvane
