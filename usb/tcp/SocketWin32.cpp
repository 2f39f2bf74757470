#include "usb/tcp/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <utility>

namespace tarvane {

namespace {

using Clock = std::chrono::steady_clock;

// Winsock must be started once per process before the first call.
class WinsockSession {
public:
    WinsockSession() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
    ~WinsockSession() {
        if (ok_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool ok() const { return ok_; }

private:
    WSADATA data_{};
    bool ok_ = false;
};

bool startWinsock() {
    static const WinsockSession session;
    return session.ok();
}

// The descriptor field is an int: socket handles are kernel handles, whose
// values keep to 32 bits even in 64-bit processes.
SOCKET toSocket(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned>(fd));
}

int fromSocket(SOCKET s) {
    if (s == INVALID_SOCKET) return -1;
    if (s > static_cast<SOCKET>(INT_MAX)) {
        closesocket(s);
        return -1;
    }
    return static_cast<int>(s);
}

bool makeNonBlocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, static_cast<long>(FIONBIO), &on) == 0;
}

// Reports are tiny and answered one by one: coalescing them would add tens of
// milliseconds to every request.
void disableCoalescing(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

std::string describe(const std::string& host, std::uint16_t port) {
    return host + ":" + std::to_string(port);
}

std::string errorText(int code) {
    char* buffer = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = "error " + std::to_string(code);
    if (n > 0 && buffer != nullptr) {
        text.assign(buffer, n);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    }
    LocalFree(buffer);
    return text;
}

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head != nullptr) freeaddrinfo(head);
    }
};

bool resolve(const std::string& host, std::uint16_t port, bool passive, AddressList& list, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list.head);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + errorText(rc);
        return false;
    }
    return true;
}

timeval toTimeval(std::chrono::microseconds limit) {
    if (limit.count() < 0) limit = std::chrono::microseconds(0);
    timeval tv{};
    tv.tv_sec = static_cast<long>(limit.count() / 1000000);
    tv.tv_usec = static_cast<long>(limit.count() % 1000000);
    return tv;
}

enum class Ready { Yes, Timeout, Failed };

// select rather than WSAPoll: older WSAPoll never reports a refused connect.
Ready waitFor(SOCKET s, bool writable, std::chrono::microseconds limit) {
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(s, &wanted);
    FD_SET(s, &failed);
    timeval tv = toTimeval(limit);
    const int rc = select(0, writable ? nullptr : &wanted, writable ? &wanted : nullptr, &failed, &tv);
    if (rc == 0) return Ready::Timeout;
    if (rc < 0) return Ready::Failed;
    return FD_ISSET(s, &failed) && !FD_ISSET(s, &wanted) ? Ready::Failed : Ready::Yes;
}

std::chrono::microseconds timeLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : std::chrono::microseconds(0);
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
    if (fd_ >= 0) closesocket(toSocket(fd_));
    fd_ = -1;
}

Socket Socket::connectTo(const std::string& host, std::uint16_t port, int timeoutMs, std::string& error) {
    error.clear();
    if (!startWinsock()) {
        error = "cannot start Winsock";
        return {};
    }
    AddressList list;
    if (!resolve(host, port, false, list, error)) return {};

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string reason = "no address";
    for (addrinfo* a = list.head; a != nullptr; a = a->ai_next) {
        Socket s(fromSocket(::socket(a->ai_family, a->ai_socktype, a->ai_protocol)));
        if (!s.valid() || !makeNonBlocking(toSocket(s.fd_))) {
            reason = errorText(WSAGetLastError());
            continue;
        }
        const SOCKET raw = toSocket(s.fd_);
        int err = 0;
        if (::connect(raw, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            err = WSAGetLastError();
            if (err == WSAEWOULDBLOCK) {
                const Ready ready = waitFor(raw, true, timeLeft(deadline));
                if (ready == Ready::Timeout) {
                    reason = "no answer within " + std::to_string(timeoutMs) + " ms";
                    continue;
                }
                int len = sizeof err;
                if (getsockopt(raw, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
                    err = WSAGetLastError();
                }
                if (err == 0 && ready == Ready::Failed) err = WSAECONNREFUSED;
            }
        }
        if (err != 0) {
            reason = errorText(err);
            continue;
        }
        disableCoalescing(raw);
        return s;
    }
    error = "cannot connect to " + describe(host, port) + ": " + reason;
    return {};
}

Socket Socket::listenOn(const std::string& host, std::uint16_t port, std::string& error) {
    error.clear();
    if (!startWinsock()) {
        error = "cannot start Winsock";
        return {};
    }
    AddressList list;
    if (!resolve(host, port, true, list, error)) return {};

    std::string reason = "no address";
    for (addrinfo* a = list.head; a != nullptr; a = a->ai_next) {
        Socket s(fromSocket(::socket(a->ai_family, a->ai_socktype, a->ai_protocol)));
        if (!s.valid() || !makeNonBlocking(toSocket(s.fd_))) {
            reason = errorText(WSAGetLastError());
            continue;
        }
        // Windows frees a closed listener's port at once; SO_REUSEADDR there
        // would let another program take the port over instead.
        if (::bind(toSocket(s.fd_), a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 ||
            ::listen(toSocket(s.fd_), 4) != 0) {
            reason = errorText(WSAGetLastError());
            continue;
        }
        return s;
    }
    error = "cannot listen on " + describe(host, port) + ": " + reason;
    return {};
}

std::uint16_t Socket::localPort() const {
    sockaddr_storage address{};
    int len = sizeof address;
    if (fd_ < 0 || getsockname(toSocket(fd_), reinterpret_cast<sockaddr*>(&address), &len) != 0) return 0;
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

Socket Socket::accept(std::chrono::microseconds limit) {
    if (waitReadable(limit) != Wait::Ready) return {};
    Socket s(fromSocket(::accept(toSocket(fd_), nullptr, nullptr)));
    if (s.valid()) {
        makeNonBlocking(toSocket(s.fd_));
        disableCoalescing(toSocket(s.fd_));
    }
    return s;
}

bool Socket::sendAll(const std::uint8_t* data, std::size_t n, int timeoutMs) {
    if (fd_ < 0) return false;
    const SOCKET raw = toSocket(fd_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (n > 0) {
        const int chunk = n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
        const int sent = ::send(raw, reinterpret_cast<const char*>(data), chunk, 0);
        if (sent > 0) {
            data += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
            if (waitFor(raw, true, timeLeft(deadline)) != Ready::Yes) return false;
            continue;
        }
        return false;
    }
    return true;
}

Socket::Wait Socket::waitReadable(std::chrono::microseconds limit) {
    if (fd_ < 0) return Wait::Error;
    switch (waitFor(toSocket(fd_), false, limit)) {
    case Ready::Yes:
        return Wait::Ready;
    case Ready::Timeout:
        return Wait::Timeout;
    case Ready::Failed:
        // A failed connection is "readable": the receive that follows reports it.
        return Wait::Ready;
    }
    return Wait::Error;
}

Socket::Received Socket::receive(std::uint8_t* data, std::size_t capacity) {
    if (fd_ < 0) return {Received::Status::Error, 0};
    const int limit = capacity > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
    const int got = ::recv(toSocket(fd_), reinterpret_cast<char*>(data), limit, 0);
    if (got > 0) return {Received::Status::Data, static_cast<std::size_t>(got)};
    if (got == 0) return {Received::Status::Closed, 0};
    const int err = WSAGetLastError();
    if (err == WSAEWOULDBLOCK || err == WSAEINTR) return {Received::Status::WouldBlock, 0};
    return {Received::Status::Error, 0};
}

} // namespace tarvane
