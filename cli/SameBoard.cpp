#include "cli/SameBoard.h"

#include "report/SameFile.h"
#include "usb/tcp/NativeSocket.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace tarvane {
namespace {

bool sameAddress(const addrinfo* a, const addrinfo* b) {
    return a->ai_addrlen == b->ai_addrlen && std::memcmp(a->ai_addr, b->ai_addr, a->ai_addrlen) == 0;
}

// Whether any address `a` resolves to is one `b` resolves to. A host that
// does not resolve is compared by name.
bool sameHost(const DeviceAddress& a, const DeviceAddress& b) {
    std::string reason;
    native::AddressList first;
    native::AddressList second;
    if (!native::startSockets(reason) || !first.resolve(a.host, a.port, false, reason) ||
        !second.resolve(b.host, b.port, false, reason)) {
        return a.host == b.host;
    }
    for (const addrinfo* x = first.first(); x != nullptr; x = native::nextAddress(x)) {
        for (const addrinfo* y = second.first(); y != nullptr; y = native::nextAddress(y)) {
            if (sameAddress(x, y)) return true;
        }
    }
    return false;
}

} // namespace

bool sameBoard(const DeviceAddress& a, const DeviceAddress& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
    case DeviceAddress::Kind::Tcp:
        return a.port == b.port && sameHost(a, b);
    case DeviceAddress::Kind::Usb:
        return a.path == b.path || sameFile(a.path, b.path);
    case DeviceAddress::Kind::Sim:
        return true;
    }
    return false;
}

} // namespace tarvane
