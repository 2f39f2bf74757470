#include "usb/tcp/Socket.h"

#include "usb/tcp/NativeSocket.h"

#include <algorithm>
#include <utility>

namespace tarvane {

namespace {

using Clock = std::chrono::steady_clock;
using native::Readiness;

std::chrono::microseconds timeLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : std::chrono::microseconds(0);
}

// A signal only cuts the wait short; the deadline still holds.
Readiness waitWritableUntil(int handle, Clock::time_point deadline) {
    for (;;) {
        const Readiness ready = native::waitWritable(handle, timeLeft(deadline));
        if (ready != Readiness::Interrupted) return ready;
    }
}

std::string describe(const std::string& host, std::uint16_t port) {
    return host + ":" + std::to_string(port);
}

bool resolve(const std::string& host, std::uint16_t port, bool passive, native::AddressList& list,
             std::string& error) {
    if (!native::startSockets(error)) return false;
    std::string reason;
    if (!list.resolve(host, port, passive, reason)) {
        error = "cannot resolve " + host + ": " + reason;
        return false;
    }
    return true;
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
    if (fd_ >= 0) native::closeSocket(fd_);
    fd_ = -1;
}

Socket Socket::connectTo(const std::string& host, std::uint16_t port, int timeoutMs, std::string& error) {
    error.clear();
    native::AddressList list;
    if (!resolve(host, port, false, list, error)) return {};

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string reason = "no address";
    for (const addrinfo* a = list.first(); a != nullptr; a = native::nextAddress(a)) {
        Socket s(native::openSocket(a));
        if (!s.valid()) {
            reason = native::errorText(native::lastError());
            continue;
        }
        int err = native::startConnect(s.fd_, a);
        if (native::isConnectPending(err)) {
            const Readiness ready = waitWritableUntil(s.fd_, deadline);
            if (ready == Readiness::Timeout) {
                reason = "no answer within " + std::to_string(timeoutMs) + " ms";
                continue;
            }
            err = native::pendingError(s.fd_);
            if (err == 0 && ready != Readiness::Ready) err = native::refusedError();
        }
        if (err != 0) {
            reason = native::errorText(err);
            continue;
        }
        native::disableCoalescing(s.fd_);
        return s;
    }
    error = "cannot connect to " + describe(host, port) + ": " + reason;
    return {};
}

Socket Socket::listenOn(const std::string& host, std::uint16_t port, std::string& error) {
    error.clear();
    native::AddressList list;
    if (!resolve(host, port, true, list, error)) return {};

    std::string reason = "no address";
    for (const addrinfo* a = list.first(); a != nullptr; a = native::nextAddress(a)) {
        Socket s(native::openSocket(a));
        if (!s.valid() || !native::bindAndListen(s.fd_, a)) {
            reason = native::errorText(native::lastError());
            continue;
        }
        return s;
    }
    error = "cannot listen on " + describe(host, port) + ": " + reason;
    return {};
}

std::uint16_t Socket::localPort() const { return fd_ < 0 ? 0 : native::localPort(fd_); }

Socket Socket::accept(std::chrono::microseconds limit) {
    if (waitReadable(limit) != Wait::Ready) return {};
    Socket s(native::acceptConnection(fd_));
    if (s.valid()) native::disableCoalescing(s.fd_);
    return s;
}

bool Socket::sendAll(const std::uint8_t* data, std::size_t n, int timeoutMs) {
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (n > 0) {
        const long sent = native::sendSome(fd_, data, n);
        if (sent > 0) {
            data += sent;
            n -= static_cast<std::size_t>(sent);
            continue;
        }
        const int err = sent < 0 ? native::lastError() : 0;
        if (native::isInterrupted(err)) continue;
        if (native::isWouldBlock(err) && waitWritableUntil(fd_, deadline) == Readiness::Ready) continue;
        return false;
    }
    return true;
}

namespace {

Socket::Wait waitOf(Readiness readiness) {
    switch (readiness) {
    case Readiness::Ready:
    case Readiness::Failed:
        // Hang-up and errors are "readable": the receive that follows reports them.
        return Socket::Wait::Ready;
    case Readiness::Timeout:
    case Readiness::Interrupted:
        return Socket::Wait::Timeout;
    case Readiness::Invalid:
        return Socket::Wait::Error;
    }
    return Socket::Wait::Error;
}

} // namespace

Socket::Wait Socket::waitReadable(std::chrono::microseconds limit) {
    if (fd_ < 0) return Wait::Error;
    return waitOf(native::waitReadable(fd_, std::max(limit, std::chrono::microseconds(0))));
}

Socket::Wait Socket::waitEitherReadable(Socket& first, Socket& second, std::chrono::microseconds limit,
                                        bool (&ready)[2]) {
    ready[0] = ready[1] = false;
    if (first.fd_ < 0 || second.fd_ < 0) return Wait::Error;
    return waitOf(native::waitEitherReadable(first.fd_, second.fd_, std::max(limit, std::chrono::microseconds(0)), ready));
}

Socket::Received Socket::receive(std::uint8_t* data, std::size_t capacity) {
    if (fd_ < 0) return {Received::Status::Error, 0};
    const long got = native::receiveSome(fd_, data, capacity);
    if (got > 0) return {Received::Status::Data, static_cast<std::size_t>(got)};
    if (got == 0) return {Received::Status::Closed, 0};
    const int err = native::lastError();
    if (native::isWouldBlock(err) || native::isInterrupted(err)) return {Received::Status::WouldBlock, 0};
    return {Received::Status::Error, 0};
}

} // namespace tarvane
