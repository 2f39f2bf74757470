#include "tests/support/SimProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarvane::test {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the child within the limit; true with its status when it ended.
bool waitForExit(pid_t pid, int timeoutMs, int& status) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return false;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

SimProcess::SimProcess(const std::vector<std::string>& options, const std::string& listen) {
    start({"--listen", listen}, options);
    if (started() && !readPort(10000)) stop(1000);
}

SimProcess::SimProcess(const Gadget& gadget, const std::vector<std::string>& options) {
    start({"--gadget", gadget.device}, options);
    if (!started()) return;
    std::string line;
    if (!readFirstLine(10000, line) || line.rfind("serving on ", 0) != 0) {
        if (error_.empty()) error_ = "unexpected first line: " + line;
        stop(1000);
        ready_ = false;
    }
}

pid_t spawnWithOutputPipe(const std::string& program, const std::vector<std::string>& args, int deathSignal,
                          int& stdoutFd) {
    stdoutFd = -1;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return -1;
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, deathSignal);
        if (getppid() != parent) _exit(127);
        const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(out[1], 1) < 0) _exit(127);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        return -1;
    }
    stdoutFd = out[0];
    return pid;
}

void SimProcess::start(std::vector<std::string> transport, const std::vector<std::string>& options) {
    const std::string program = std::string(TARVANE_BIN_DIR) + "/tarvane-sim";
    std::vector<std::string> args = std::move(transport);
    args.insert(args.end(), options.begin(), options.end());
    // A test that crashes must not leave the simulator running, holding the
    // test runner's output pipe open. The read end stays open for the
    // child's life: closing it would turn any later output into SIGPIPE.
    pid_ = spawnWithOutputPipe(program, args, SIGTERM, stdoutFd_);
    if (pid_ < 0) {
        error_ = "cannot run " + program;
        return;
    }
    ready_ = true;
}

SimProcess::~SimProcess() {
    stop();
}

bool SimProcess::readFirstLine(int timeoutMs, std::string& line) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    line.clear();
    for (;;) {
        const auto newline = line.find('\n');
        if (newline != std::string::npos) {
            line.resize(newline);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{stdoutFd_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            error_ = "tarvane-sim printed nothing in time";
            return false;
        }
        char buf[256];
        const ssize_t got = read(stdoutFd_, buf, sizeof buf);
        if (got <= 0) {
            error_ = "tarvane-sim ended before serving";
            return false;
        }
        line.append(buf, static_cast<std::size_t>(got));
    }
}

bool SimProcess::readPort(int timeoutMs) {
    std::string line;
    if (!readFirstLine(timeoutMs, line)) return false;
    const std::string prefix = "listening on ";
    const auto colon = line.rfind(':');
    if (line.rfind(prefix, 0) != 0 || colon == std::string::npos) {
        error_ = "unexpected first line: " + line;
        return false;
    }
    const int port = std::atoi(line.c_str() + colon + 1);
    if (port <= 0 || port > 0xFFFF) {
        error_ = "no port in: " + line;
        return false;
    }
    port_ = static_cast<std::uint16_t>(port);
    return true;
}

std::string SimProcess::address() const {
    return "tcp:127.0.0.1:" + std::to_string(port_);
}

int SimProcess::stop(int timeoutMs) {
    int result = -1;
    if (pid_ > 0) {
        int status = 0;
        kill(pid_, SIGTERM);
        if (!waitForExit(pid_, timeoutMs, status)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        } else if (WIFEXITED(status)) {
            result = WEXITSTATUS(status);
        }
        pid_ = -1;
    }
    if (stdoutFd_ >= 0) close(stdoutFd_);
    stdoutFd_ = -1;
    port_ = 0;
    ready_ = false;
    return result;
}

// A loopback port nobody listens on right now.
std::uint16_t freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

} // namespace tarvane::test
