// The HEX file is read once, when the update starts: what was checked is
// what is sent, and a pipe is read like a file.
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tarvane {
namespace {

using namespace std::chrono_literals;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const std::string kDisplayFile =
    (std::filesystem::path(TARVANE_SOURCE_DIR) / "examples" / "Tarvane_Display_Board_2064.hex").string();

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ReadOnce, AFileReplacedWhileWaitingIsCheckedAsItIsThenRead) {
    test::ScratchDir dir;
    const std::string text = fileText(kDisplayFile);
    const std::string path = dir.write("board.hex", text);
    const std::uint16_t port = test::freeLoopbackPort();
    const std::string address = "tcp:127.0.0.1:" + std::to_string(port);
    auto update = std::async(std::launch::async, [&] {
        return test::runProcess(kUpdate, {"--wait", "10", "--board", "interface", "--device", address, path}, 30);
    });
    std::this_thread::sleep_for(1s);
    // Cut short at a line's end: the first half of the firmware, no end-of-file record.
    dir.write("board.hex", text.substr(0, text.find('\n', text.size() / 2) + 1));
    const std::string log = (dir.path() / "requests.log").string();
    test::SimProcess sim({"--log", log}, "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(sim.started()) << sim.error();
    const auto r = update.get();
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_NE(r.err.find("error: Cannot load the HEX file.\nthe file has no end-of-file record"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("Connecting..."), std::string::npos) << r.out;
    sim.stop();
    EXPECT_EQ(fileText(log), "") << "the board was sent requests";
}

TEST(ReadOnce, APipedFileIsInspectedAsItsBytes) {
    const std::string inspected = test::runProcess(kUpdate, {"--inspect", kDisplayFile}).out;
    ASSERT_NE(inspected.find("start: 0x9D"), std::string::npos) << inspected;
    // Standard input as a pipe, and a FIFO: each gives its bytes once.
    const std::string script = "cat \"$1\" | \"$0\" --inspect /dev/stdin && "
                               "f=$(mktemp -u) && mkfifo \"$f\" && (cat \"$1\" > \"$f\" &) && "
                               "\"$0\" --inspect \"$f\"; s=$?; rm -f \"$f\"; exit $s";
    const auto r = test::runProcess("/bin/sh", {"-c", script, kUpdate, kDisplayFile}, 10);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, inspected + inspected);
}

} // namespace
} // namespace tarvane
