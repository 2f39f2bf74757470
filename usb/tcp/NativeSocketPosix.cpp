#include "usb/tcp/NativeSocket.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvane::native {

namespace {

timespec toTimespec(std::chrono::microseconds limit) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(limit.count() / 1000000);
    ts.tv_nsec = static_cast<long>(limit.count() % 1000000) * 1000;
    return ts;
}

Readiness waitFor(int handle, short events, std::chrono::microseconds limit) {
    pollfd p{handle, events, 0};
    const timespec ts = toTimespec(limit);
    const int rc = ::ppoll(&p, 1, &ts, nullptr);
    if (rc == 0) return Readiness::Timeout;
    if (rc < 0) return errno == EINTR ? Readiness::Interrupted : Readiness::Invalid;
    if ((p.revents & POLLNVAL) != 0) return Readiness::Invalid;
    return (p.revents & POLLERR) != 0 ? Readiness::Failed : Readiness::Ready;
}

} // namespace

bool startSockets(std::string&) { return true; }

int lastError() { return errno; }

std::string errorText(int code) { return std::strerror(code); }

std::string resolveErrorText(int code) { return gai_strerror(code); }

bool isWouldBlock(int code) { return code == EAGAIN || code == EWOULDBLOCK; }

bool isInterrupted(int code) { return code == EINTR; }

bool isConnectPending(int code) { return code == EINPROGRESS; }

int refusedError() { return ECONNREFUSED; }

int openSocket(const addrinfo* address) {
    return ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
}

void closeSocket(int handle) { ::close(handle); }

int startConnect(int handle, const addrinfo* address) {
    return ::connect(handle, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
}

int pendingError(int handle) {
    int err = 0;
    socklen_t len = sizeof err;
    return getsockopt(handle, SOL_SOCKET, SO_ERROR, &err, &len) == 0 ? err : errno;
}

bool bindAndListen(int handle, const addrinfo* address) {
    // A restarted simulator must get its port back while old connections linger.
    const int on = 1;
    setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return ::bind(handle, address->ai_addr, address->ai_addrlen) == 0 && ::listen(handle, 4) == 0;
}

int acceptConnection(int handle) { return ::accept4(handle, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC); }

bool boundAddress(int handle, sockaddr_storage& address) {
    socklen_t len = sizeof address;
    return getsockname(handle, reinterpret_cast<sockaddr*>(&address), &len) == 0;
}

void disableCoalescing(int handle) {
    const int on = 1;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

long sendSome(int handle, const std::uint8_t* data, std::size_t n) {
    // MSG_NOSIGNAL: a peer that went away must be an error result, not SIGPIPE.
    return ::send(handle, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long receiveSome(int handle, std::uint8_t* data, std::size_t capacity) {
    return ::recv(handle, data, capacity, MSG_DONTWAIT);
}

Readiness waitReadable(int handle, std::chrono::microseconds limit) { return waitFor(handle, POLLIN, limit); }

Readiness waitWritable(int handle, std::chrono::microseconds limit) { return waitFor(handle, POLLOUT, limit); }

Readiness waitEitherReadable(int first, int second, std::chrono::microseconds limit, bool (&ready)[2]) {
    pollfd p[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
    const timespec ts = toTimespec(limit);
    const int rc = ::ppoll(p, 2, &ts, nullptr);
    if (rc == 0) return Readiness::Timeout;
    if (rc < 0) return errno == EINTR ? Readiness::Interrupted : Readiness::Invalid;
    for (int i = 0; i < 2; ++i) {
        if ((p[i].revents & POLLNVAL) != 0) return Readiness::Invalid;
        ready[i] = p[i].revents != 0;
    }
    return Readiness::Ready;
}

} // namespace tarvane::native
