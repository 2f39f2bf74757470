// What POSIX sockets and Winsock spell alike: the address list a host
// resolves to and the port a socket is bound to.
#include "usb/tcp/NativeSocket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace tarvane::native {

AddressList::~AddressList() {
    if (head_ != nullptr) freeaddrinfo(head_);
}

bool AddressList::resolve(const std::string& host, std::uint16_t port, bool passive, std::string& reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &head_);
    if (rc != 0) {
        reason = resolveErrorText(rc);
        return false;
    }
    return true;
}

const addrinfo* nextAddress(const addrinfo* address) { return address->ai_next; }

std::uint16_t localPort(int handle) {
    sockaddr_storage address{};
    if (!boundAddress(handle, address)) return 0;
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

} // namespace tarvane::native
