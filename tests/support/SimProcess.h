#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tarvane::test {

// Runs tarvane-sim on a free loopback port for the life of the object.
// `options` are tarvane-sim's own (fault switches, --log, --dump); --listen
// is added here. Its standard error goes to the test's. The simulator ends
// with the thread that created this object, so create it on the test's own.
class SimProcess {
public:
    // The board on a USB gadget HID device (/dev/hidgN) instead of TCP.
    struct Gadget {
        std::string device;
    };

    explicit SimProcess(const std::vector<std::string>& options = {}, const std::string& listen = "127.0.0.1:0");
    SimProcess(const Gadget& gadget, const std::vector<std::string>& options = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Running and listening (or serving its gadget); otherwise error() says why not.
    bool started() const { return ready_; }
    const std::string& error() const { return error_; }

    std::uint16_t port() const { return port_; }
    // The device address that reaches it: "tcp:127.0.0.1:PORT".
    std::string address() const;

    // Asks it to end (SIGTERM) and waits. Its exit status, or -1 when it had
    // to be killed or was not running.
    int stop(int timeoutMs = 3000);

private:
    void start(std::vector<std::string> transport, const std::vector<std::string>& options);
    bool readFirstLine(int timeoutMs, std::string& line);
    bool readPort(int timeoutMs);

    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::uint16_t port_ = 0;
    bool ready_ = false;
    std::string error_;
};

// Starts `program` with `args`, its standard input /dev/null and its standard
// output on a pipe whose read end goes to `stdoutFd`; the child gets
// `deathSignal` when the thread that started it ends, so a test that ends
// however it ends leaves nothing running. The child's pid, or -1.
pid_t spawnWithOutputPipe(const std::string& program, const std::vector<std::string>& args, int deathSignal,
                          int& stdoutFd);

// A loopback port nobody listens on right now.
std::uint16_t freeLoopbackPort();

} // namespace tarvane::test
