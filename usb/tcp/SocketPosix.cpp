#include "usb/tcp/Socket.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace tarvane {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

timespec toTimespec(std::chrono::microseconds limit) {
    if (limit.count() < 0) limit = std::chrono::microseconds(0);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(limit.count() / 1000000);
    ts.tv_nsec = static_cast<long>(limit.count() % 1000000) * 1000;
    return ts;
}

// Reports are tiny and answered one by one: coalescing them would add tens of
// milliseconds to every request.
void disableCoalescing(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::string describe(const std::string& host, std::uint16_t port) {
    return host + ":" + std::to_string(port);
}

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head != nullptr) freeaddrinfo(head);
    }
};

// Resolves host:port; empty `error` on success.
bool resolve(const std::string& host, std::uint16_t port, bool passive, AddressList& list, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list.head);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    return true;
}

// Waits for one event on fd until the deadline; the revents, or 0 on timeout, -1 on failure.
int pollOne(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, millisecondsLeft(deadline));
        if (rc > 0) return p.revents;
        if (rc == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

} // namespace

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Socket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Socket Socket::connectTo(const std::string& host, std::uint16_t port, int timeoutMs, std::string& error) {
    error.clear();
    AddressList list;
    if (!resolve(host, port, false, list, error)) return {};

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string reason = "no address";
    for (addrinfo* a = list.head; a != nullptr; a = a->ai_next) {
        Socket s(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!s.valid()) {
            reason = std::strerror(errno);
            continue;
        }
        int err = 0;
        if (::connect(s.fd_, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                const int ev = pollOne(s.fd_, POLLOUT, deadline);
                if (ev == 0) {
                    reason = "no answer within " + std::to_string(timeoutMs) + " ms";
                    continue;
                }
                socklen_t len = sizeof err;
                if (ev < 0 || getsockopt(s.fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
            }
        }
        if (err != 0) {
            reason = std::strerror(err);
            continue;
        }
        disableCoalescing(s.fd_);
        return s;
    }
    error = "cannot connect to " + describe(host, port) + ": " + reason;
    return {};
}

Socket Socket::listenOn(const std::string& host, std::uint16_t port, std::string& error) {
    error.clear();
    AddressList list;
    if (!resolve(host, port, true, list, error)) return {};

    std::string reason = "no address";
    for (addrinfo* a = list.head; a != nullptr; a = a->ai_next) {
        Socket s(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!s.valid()) {
            reason = std::strerror(errno);
            continue;
        }
        // A restarted simulator must get its port back while old connections linger.
        const int on = 1;
        setsockopt(s.fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(s.fd_, a->ai_addr, a->ai_addrlen) != 0 || ::listen(s.fd_, 4) != 0) {
            reason = std::strerror(errno);
            continue;
        }
        return s;
    }
    error = "cannot listen on " + describe(host, port) + ": " + reason;
    return {};
}

std::uint16_t Socket::localPort() const {
    sockaddr_storage address{};
    socklen_t len = sizeof address;
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &len) != 0) return 0;
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

Socket Socket::accept(std::chrono::microseconds limit) {
    if (waitReadable(limit) != Wait::Ready) return {};
    Socket s(::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (s.valid()) disableCoalescing(s.fd_);
    return s;
}

bool Socket::sendAll(const std::uint8_t* data, std::size_t n, int timeoutMs) {
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (n > 0) {
        // MSG_NOSIGNAL: a peer that went away must be an error result, not SIGPIPE.
        const ssize_t sent = ::send(fd_, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ev = pollOne(fd_, POLLOUT, deadline);
            if (ev <= 0 || (ev & (POLLERR | POLLNVAL)) != 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

Socket::Wait Socket::waitReadable(std::chrono::microseconds limit) {
    if (fd_ < 0) return Wait::Error;
    pollfd p{fd_, POLLIN, 0};
    const timespec ts = toTimespec(limit);
    const int rc = ::ppoll(&p, 1, &ts, nullptr);
    if (rc == 0) return Wait::Timeout;
    if (rc < 0) return errno == EINTR ? Wait::Timeout : Wait::Error;
    // Hang-up and errors are "readable": the receive that follows reports them.
    return (p.revents & POLLNVAL) != 0 ? Wait::Error : Wait::Ready;
}

Socket::Received Socket::receive(std::uint8_t* data, std::size_t capacity) {
    if (fd_ < 0) return {Received::Status::Error, 0};
    const ssize_t got = ::recv(fd_, data, capacity, MSG_DONTWAIT);
    if (got > 0) return {Received::Status::Data, static_cast<std::size_t>(got)};
    if (got == 0) return {Received::Status::Closed, 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return {Received::Status::WouldBlock, 0};
    return {Received::Status::Error, 0};
}

} // namespace tarvane
