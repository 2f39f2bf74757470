#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

struct addrinfo;
struct sockaddr_storage;

// The few socket calls that differ between POSIX and Winsock, one file per
// platform; what both spell alike is in NativeAddress.cpp. Handles are ints,
// -1 for none; every socket is non-blocking.
namespace tarvane::native {

// Starts the system's socket library once per process; false with `error` when it cannot.
bool startSockets(std::string& error);

// The addresses a host resolves to, freed with the list.
class AddressList {
public:
    AddressList() = default;
    ~AddressList();
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;

    // Resolves host:port, for listening when `passive`; false with the system's `reason` otherwise.
    bool resolve(const std::string& host, std::uint16_t port, bool passive, std::string& reason);
    const addrinfo* first() const { return head_; }

private:
    addrinfo* head_ = nullptr;
};

const addrinfo* nextAddress(const addrinfo* address);

// The error of the last failed call on this thread, and its text.
int lastError();
std::string errorText(int code);
// The text of a failed resolve's code (on POSIX not an errno).
std::string resolveErrorText(int code);

bool isWouldBlock(int code);
bool isInterrupted(int code);
// A connect that goes on in the background.
bool isConnectPending(int code);
int refusedError();

// A non-blocking socket for `address`; -1 with lastError() set otherwise.
int openSocket(const addrinfo* address);
void closeSocket(int handle);

// 0 once connected, else the error (isConnectPending while it goes on).
int startConnect(int handle, const addrinfo* address);
// The error a background connect ended with, 0 for none.
int pendingError(int handle);

// Binds and listens; false with lastError() set.
bool bindAndListen(int handle, const addrinfo* address);
// A pending connection as a non-blocking socket, -1 when none.
int acceptConnection(int handle);
// The address the socket is bound to; false when the system cannot say.
bool boundAddress(int handle, sockaddr_storage& address);
std::uint16_t localPort(int handle);

// Reports are tiny and answered one by one: coalescing them would add tens of
// milliseconds to every request.
void disableCoalescing(int handle);

// Bytes sent or received, 0 when the peer closed (receive), -1 with lastError() set.
long sendSome(int handle, const std::uint8_t* data, std::size_t n);
long receiveSome(int handle, std::uint8_t* data, std::size_t capacity);

enum class Readiness {
    Ready,       // the direction waited for is ready
    Failed,      // the socket reports an error, such as a refused connect
    Timeout,
    Interrupted, // a signal cut the wait short
    Invalid,     // the handle is no socket, or the wait itself failed
};

Readiness waitReadable(int handle, std::chrono::microseconds limit);
// Waits for either of two sockets; `ready` says which can be read when the
// answer is Ready (a failed socket counts as readable).
Readiness waitEitherReadable(int first, int second, std::chrono::microseconds limit, bool (&ready)[2]);
Readiness waitWritable(int handle, std::chrono::microseconds limit);

} // namespace tarvane::native
