#include "usb/tcp/NativeSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

namespace tarvane::native {

namespace {

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

// Handles travel as ints: socket handles are kernel handles, whose values keep
// to 32 bits even in 64-bit processes.
SOCKET toSocket(int handle) {
    return handle < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned>(handle));
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

int clampToInt(std::size_t n) { return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n); }

timeval toTimeval(std::chrono::microseconds limit) {
    timeval tv{};
    tv.tv_sec = static_cast<long>(limit.count() / 1000000);
    tv.tv_usec = static_cast<long>(limit.count() % 1000000);
    return tv;
}

// select rather than WSAPoll: older WSAPoll never reports a refused connect.
Readiness waitFor(int handle, bool writable, std::chrono::microseconds limit) {
    const SOCKET s = toSocket(handle);
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(s, &wanted);
    FD_SET(s, &failed);
    timeval tv = toTimeval(limit);
    const int rc = select(0, writable ? nullptr : &wanted, writable ? &wanted : nullptr, &failed, &tv);
    if (rc == 0) return Readiness::Timeout;
    if (rc < 0) return Readiness::Invalid;
    return FD_ISSET(s, &failed) && !FD_ISSET(s, &wanted) ? Readiness::Failed : Readiness::Ready;
}

} // namespace

bool startSockets(std::string& error) {
    static const WinsockSession session;
    if (!session.ok()) error = "cannot start Winsock";
    return session.ok();
}

int lastError() { return WSAGetLastError(); }

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

std::string resolveErrorText(int code) { return errorText(code); }

bool isWouldBlock(int code) { return code == WSAEWOULDBLOCK; }

bool isInterrupted(int code) { return code == WSAEINTR; }

bool isConnectPending(int code) { return code == WSAEWOULDBLOCK; }

int refusedError() { return WSAECONNREFUSED; }

int openSocket(const addrinfo* address) {
    const int handle = fromSocket(::socket(address->ai_family, address->ai_socktype, address->ai_protocol));
    if (handle < 0 || makeNonBlocking(toSocket(handle))) return handle;
    const int err = WSAGetLastError();
    closesocket(toSocket(handle));
    WSASetLastError(err);
    return -1;
}

void closeSocket(int handle) { closesocket(toSocket(handle)); }

int startConnect(int handle, const addrinfo* address) {
    return ::connect(toSocket(handle), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0
               ? 0
               : WSAGetLastError();
}

int pendingError(int handle) {
    int err = 0;
    int len = sizeof err;
    if (getsockopt(toSocket(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
        return WSAGetLastError();
    }
    return err;
}

bool bindAndListen(int handle, const addrinfo* address) {
    // Windows frees a closed listener's port at once; SO_REUSEADDR there
    // would let another program take the port over instead.
    return ::bind(toSocket(handle), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0 &&
           ::listen(toSocket(handle), 4) == 0;
}

int acceptConnection(int handle) {
    const int accepted = fromSocket(::accept(toSocket(handle), nullptr, nullptr));
    if (accepted >= 0) makeNonBlocking(toSocket(accepted));
    return accepted;
}

bool boundAddress(int handle, sockaddr_storage& address) {
    int len = sizeof address;
    return getsockname(toSocket(handle), reinterpret_cast<sockaddr*>(&address), &len) == 0;
}

void disableCoalescing(int handle) {
    const BOOL on = TRUE;
    setsockopt(toSocket(handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

long sendSome(int handle, const std::uint8_t* data, std::size_t n) {
    return ::send(toSocket(handle), reinterpret_cast<const char*>(data), clampToInt(n), 0);
}

long receiveSome(int handle, std::uint8_t* data, std::size_t capacity) {
    return ::recv(toSocket(handle), reinterpret_cast<char*>(data), clampToInt(capacity), 0);
}

Readiness waitReadable(int handle, std::chrono::microseconds limit) { return waitFor(handle, false, limit); }

Readiness waitWritable(int handle, std::chrono::microseconds limit) { return waitFor(handle, true, limit); }

Readiness waitEitherReadable(int first, int second, std::chrono::microseconds limit, bool (&ready)[2]) {
    const SOCKET s[2] = {toSocket(first), toSocket(second)};
    fd_set readable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    for (const SOCKET one : s) {
        FD_SET(one, &readable);
        FD_SET(one, &failed);
    }
    timeval tv = toTimeval(limit);
    const int rc = select(0, &readable, nullptr, &failed, &tv);
    if (rc == 0) return Readiness::Timeout;
    if (rc < 0) return Readiness::Invalid;
    for (int i = 0; i < 2; ++i) ready[i] = FD_ISSET(s[i], &readable) || FD_ISSET(s[i], &failed);
    return Readiness::Ready;
}

} // namespace tarvane::native
