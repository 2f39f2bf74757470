// tarvane-update with several --device: every board updated at once by its
// own link, a failing one never stopping the others; and Ctrl-C stopping a
// run cleanly.
#include "tests/support/BoardRecord.h"
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

namespace tarvane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using test::splitLines;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const std::string kDisplayFile =
    (fs::path(TARVANE_SOURCE_DIR) / "examples" / "Tarvane_Display_Board_2064.hex").string();

// The lines of `out` that start with the board's prefix, without it.
Lines boardLines(const Lines& out, const std::string& address) {
    const std::string prefix = "[" + address + "]";
    Lines lines;
    for (const std::string& line : out) {
        if (line.rfind(prefix, 0) != 0) continue;
        lines.push_back(line.size() == prefix.size() ? "" : line.substr(prefix.size() + 1));
    }
    return lines;
}

TEST(SeveralBoards, AreUpdatedAtOnceAndAFailingOneStopsNoOther) {
    test::ScratchDir scratch;
    const fs::path dump = scratch.path() / "good.dump";
    test::SimProcess good({"--dump", dump.string()});
    test::SimProcess silent({"--silent", "erase"});
    ASSERT_TRUE(good.started() && silent.started());
    const std::string absent = "tcp:127.0.0.1:1";
    const std::string goodAddress = good.address();

    const auto r = test::runProcess(kUpdate, {"--board", "display", "--device", goodAddress, "--device",
                                              silent.address(), "--device", absent, "--trace",
                                              (scratch.path() / "run.trace").string(), kDisplayFile});
    good.stop();
    // The highest status of any board: 4 for the absent one, over 1 for the silent one.
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    // At once, not one after the other: the update alone takes over 5 s, the
    // silent board's time-out over 3 s.
    EXPECT_LT(r.seconds, 8.0);
    const Lines out = splitLines(r.out);
    const Lines goodLines = boardLines(out, goodAddress);
    ASSERT_GE(goodLines.size(), test::successLog().size() + 1);
    EXPECT_EQ(Lines(goodLines.begin() + 2, goodLines.end() - 1), test::successLog());
    EXPECT_EQ(test::flashMismatch(test::readBytes(dump), kDisplayFile), "");
    const Lines silentLines = boardLines(out, silent.address());
    EXPECT_NE(std::find(silentLines.begin(), silentLines.end(), ">> No Response from the device!"), silentLines.end());
    EXPECT_NE(r.err.find("[" + absent + "] error: Device not found"), std::string::npos) << r.err;

    // Every line names its board; the summary ends the output, in the order given.
    for (const std::string& line : out) EXPECT_EQ(line.front(), '[') << line;
    ASSERT_GE(out.size(), 3u);
    EXPECT_TRUE(std::regex_match(out[out.size() - 3], std::regex(R"(\[tcp:.*\] updated in \d+\.\d s)"))) << out[out.size() - 3];
    EXPECT_TRUE(std::regex_match(out[out.size() - 2], std::regex(R"(\[tcp:.*\] failed \(no response\) after \d+\.\d s)")));
    EXPECT_TRUE(std::regex_match(out.back(), std::regex(R"(\[tcp:127\.0\.0\.1:1\] not found after \d+\.\d s)")));

    // Each board's trace is its own, numbered in the order given.
    std::vector<std::string> traces;
    for (const char* name : {"run-1.trace", "run-2.trace", "run-3.trace"}) {
        const auto bytes = test::readBytes(scratch.path() / name);
        traces.emplace_back(bytes.begin(), bytes.end());
    }
    EXPECT_NE(traces[0].find("# device: " + goodAddress + "\n"), std::string::npos);
    EXPECT_NE(traces[0].find(" < "), std::string::npos);
    EXPECT_NE(traces[1].find("# device: " + silent.address() + "\n"), std::string::npos);
    EXPECT_NE(traces[2].find("# device: " + absent + "\n"), std::string::npos);
    EXPECT_EQ(traces[2].find(" > "), std::string::npos) << "nothing reached the absent board";

    // A board cannot take two updates at once.
    EXPECT_EQ(test::runProcess(kUpdate, {"--board", "display", "--device", silent.address(), "--device",
                                         silent.address(), kDisplayFile})
                  .exitCode,
              2);
}

TEST(Interrupt, CtrlCStopsTheUpdateCleanlyAndSaysSo) {
    test::SimProcess slow(std::vector<std::string>{"--usb-timing"});
    ASSERT_TRUE(slow.started()) << slow.error();
    test::RunControl control;
    control.interruptAfter = "Programming flash...\n";
    control.errorOnTerminal = true;
    const auto r = test::runProcess(kUpdate, {"--board", "display", "--device", slow.address(), kDisplayFile}, 60, control);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_GE(r.secondsAfterInterrupt, 0);
    EXPECT_LT(r.secondsAfterInterrupt, 2.0);
    const Lines out = splitLines(r.out);
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(Lines(out.end() - 4, out.end()),
              (Lines{"", ">> Update interrupted", "a) Remove the USB-C CHARGER cable", "b) Repeat STEP 4 above"}));
    // The progress bar was drawn on the terminal, and cleared before the end.
    const std::size_t bar = r.err.rfind("\r[");
    ASSERT_NE(bar, std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\r\033[K", bar), std::string::npos);
}

} // namespace
} // namespace tarvane
