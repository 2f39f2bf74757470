#include "usb/hidapi/NodeLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace tarvane {

NodeLock::NodeLock(const std::string& path) {
    // A descriptor of our own: the library's is out of reach. flock belongs to
    // the open file, so any other open of the node, ours or another
    // program's, finds it taken. Read-only opens a node without starting a
    // write path, and O_NONBLOCK keeps a slow device from holding the open.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return;
    int rc = 0;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        state_ = State::Held;
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::InUse : State::Unlockable;
    ::close(fd_);
    fd_ = -1;
}

NodeLock::~NodeLock() {
    if (fd_ >= 0) ::close(fd_);
}

NodeLock::NodeLock(NodeLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), state_(std::exchange(other.state_, State::Unlockable)) {}

NodeLock& NodeLock::operator=(NodeLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        state_ = std::exchange(other.state_, State::Unlockable);
    }
    return *this;
}

bool nodeInUse(const std::string& path) { return NodeLock(path).state() == NodeLock::State::InUse; }

} // namespace tarvane
