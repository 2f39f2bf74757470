#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvane {

// A non-blocking TCP socket that owns its descriptor. Every operation has a
// time limit, so a stuck peer can never hold a caller longer than it asked.
// The calls that differ between POSIX and Winsock are in NativeSocket.h.
class Socket {
public:
    enum class Wait { Ready, Timeout, Error };

    // Outcome of one receive: bytes, nothing yet, the peer closed, or a failure.
    struct Received {
        enum class Status { Data, WouldBlock, Closed, Error } status;
        std::size_t bytes;
    };

    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Connects within timeoutMs; an invalid socket and a plain `error` otherwise.
    static Socket connectTo(const std::string& host, std::uint16_t port, int timeoutMs, std::string& error);
    // Listens on host:port (port 0 picks a free one).
    static Socket listenOn(const std::string& host, std::uint16_t port, std::string& error);

    bool valid() const { return fd_ >= 0; }
    void close();

    // The port this socket is bound to, 0 when unknown.
    std::uint16_t localPort() const;

    // Waits for a pending connection, at most `limit`; an invalid socket when none came.
    Socket accept(std::chrono::microseconds limit);

    // Sends all n bytes within timeoutMs. False when the peer is gone or the
    // time ran out; a partly sent buffer is then lost, so the caller must give
    // up on the stream.
    bool sendAll(const std::uint8_t* data, std::size_t n, int timeoutMs);

    // Waits at most `limit` until bytes (or the peer's close) can be read. A
    // signal that interrupts the wait counts as a timeout.
    Wait waitReadable(std::chrono::microseconds limit);
    // Waits at most `limit` until either socket can be read; on Ready,
    // `ready` says which (a server serving one client while listening).
    static Wait waitEitherReadable(Socket& first, Socket& second, std::chrono::microseconds limit, bool (&ready)[2]);

    // Takes whatever has arrived, without waiting.
    Received receive(std::uint8_t* data, std::size_t capacity);

private:
    explicit Socket(int fd) : fd_(fd) {}

    int fd_ = -1;
};

} // namespace tarvane
