// Signals and outputs that must not end an update half-way: a closed
// standard output, a hang-up, and a trace nobody reads while a stop comes;
// and outputs or boards named twice, refused before anything is sent.
#include "tests/support/BoardRecord.h"
#include "tests/support/HexGen.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarvane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kUpdate = std::string(TARVANE_BIN_DIR) + "/tarvane-update";
const std::string kDisplayFile = (fs::path(TARVANE_SOURCE_DIR) / "examples" / "Tarvane_Display_Board_2064.hex").string();

// tarvane-update with its standard output on a pipe the test holds; killed
// when the test ends, however it ends.
class Update {
public:
    explicit Update(const std::vector<std::string>& args) {
        pid_ = test::spawnWithOutputPipe(kUpdate, args, SIGKILL, out_);
    }
    ~Update() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        closeOutput();
    }
    Update(const Update&) = delete;
    Update& operator=(const Update&) = delete;

    // Reads standard output until it holds `text`; false after 30 s or at its end.
    bool readUntil(const std::string& text) {
        const auto limit = Clock::now() + std::chrono::seconds(30);
        while (out_ >= 0 && read_.find(text) == std::string::npos && Clock::now() < limit) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char chunk[4096];
            const ssize_t got = read(out_, chunk, sizeof chunk);
            if (got <= 0) return false;
            read_.append(chunk, static_cast<std::size_t>(got));
        }
        return read_.find(text) != std::string::npos;
    }
    void closeOutput() {
        if (out_ >= 0) close(out_);
        out_ = -1;
    }
    void signal(int number) { kill(pid_, number); }
    // The exit status, -1 when killed by a signal or still running after `seconds`.
    int wait(double seconds) {
        const auto limit = Clock::now() + std::chrono::duration<double>(seconds);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= limit) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool waited_ = false;
    std::string read_;
};

TEST(Signals, AClosedOutputAndAHangUpLetTheUpdateRunToItsEndWithItsReport) {
    test::ScratchDir scratch;
    const fs::path dump = scratch.path() / "sim.dump";
    const fs::path report = scratch.path() / "report.txt";
    test::SimProcess sim({"--usb-timing", "--dump", dump.string()});
    ASSERT_TRUE(sim.started()) << sim.error();
    Update update({"--board", "display", "--device", sim.address(), "--report", report.string(), kDisplayFile});
    ASSERT_TRUE(update.readUntil("Programming flash...\n"));
    // As `| head`, and then the terminal closed.
    update.closeOutput();
    update.signal(SIGHUP);
    EXPECT_EQ(update.wait(60), 0);
    sim.stop();
    EXPECT_EQ(test::flashMismatch(test::readBytes(dump), kDisplayFile), "");
    const std::vector<std::uint8_t> text = test::readBytes(report);
    EXPECT_NE(std::string(text.begin(), text.end()).find("=== UPGRADE COMPLETE ==="), std::string::npos);
}

TEST(Signals, ATerminateEndsTheUpdateWithinTwoSecondsWhileAnOutputPipeIsNotRead) {
    test::ScratchDir scratch;
    const fs::path fifo = scratch.path() / "trace.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A reader that never reads: the pipe fills and stays full.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    test::SimProcess sim(std::vector<std::string>{"--usb-timing"});
    ASSERT_TRUE(sim.started()) << sim.error();
    Update update({"--board", "display", "--device", sim.address(), "--trace", fifo.string(), kDisplayFile});
    ASSERT_TRUE(update.readUntil("Programming flash...\n"));
    // By then the trace holds more than the pipe does.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    update.signal(SIGTERM);
    const auto signalled = Clock::now();
    const int status = update.wait(10);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - signalled).count(), 2.0);
    EXPECT_EQ(status, 1);
    close(reader);

    // A report into a pipe nobody opens: the open waits, and the stop ends it as an interruption.
    const fs::path unread = scratch.path() / "report.fifo";
    ASSERT_EQ(mkfifo(unread.c_str(), 0600), 0);
    Update waiting({"--board", "display", "--device", sim.address(), "--report", unread.string(), kDisplayFile});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    waiting.signal(SIGTERM);
    EXPECT_EQ(waiting.wait(2), 1);
    EXPECT_TRUE(waiting.readUntil(">> Update interrupted\n"));
}

TEST(Outputs, SharedFilesOneBoardByTwoAddressesAndAnEndlessWaitAreUsageErrors) {
    test::ScratchDir scratch;
    const std::string folder = (scratch.path() / "out").string() + "/";
    fs::create_directory(folder);
    test::SimProcess a;
    test::SimProcess b;
    ASSERT_TRUE(a.started() && b.started());
    const std::string port = std::to_string(a.port());
    const std::vector<std::vector<std::string>> refused{
        {"--device", a.address(), "--device", b.address(), "--trace", folder},
        {"--device", a.address(), "--device", "tcp:localhost:" + port},
        {"--device", a.address(), "--wait", "nan"},
        {"--device", a.address(), "--wait", "inf"},
    };
    for (std::vector<std::string> args : refused) {
        args.insert(args.end(), {"--board", "display", kDisplayFile});
        const auto r = test::runProcess(kUpdate, args);
        EXPECT_EQ(r.exitCode, 2) << args[3] << ": " << r.out << r.err;
        EXPECT_EQ(r.out, "") << args[3];
    }
    EXPECT_TRUE(fs::is_empty(folder));
}

} // namespace
} // namespace tarvane
