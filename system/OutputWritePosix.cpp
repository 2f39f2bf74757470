#include "system/OutputWrite.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tarvane {

void makeWritesNonBlocking(std::FILE* file) {
    std::fflush(file);
    const int fd = fileno(file);
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

long long writeAvailable(std::FILE* file, std::string_view bytes) {
    for (;;) {
        const ssize_t written = ::write(fileno(file), bytes.data(), bytes.size());
        if (written >= 0) return written;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

void waitWritable(std::FILE* file, int ms) {
    pollfd watched{fileno(file), POLLOUT, 0};
    poll(&watched, 1, ms);
}

} // namespace tarvane
