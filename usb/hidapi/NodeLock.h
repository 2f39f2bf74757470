#pragma once

#include <string>

namespace tarvane {

// An exclusive advisory lock on a device node, held while this object lives
// and dropped by the system when the process ends, however it ends. Every
// updater takes it before it opens a board, so a second one is refused
// instead of interleaving its frames with the first's; other tools that
// honour locks on hidraw nodes wait their turn too.
class NodeLock {
public:
    enum class State {
        Held,       // this object holds the lock
        InUse,      // another open of the node holds it
        Unlockable, // the path is no file that can be locked (another platform's path, no access)
    };

    // Tries once, without waiting.
    explicit NodeLock(const std::string& path);
    ~NodeLock();
    NodeLock(NodeLock&& other) noexcept;
    NodeLock& operator=(NodeLock&& other) noexcept;
    NodeLock(const NodeLock&) = delete;
    NodeLock& operator=(const NodeLock&) = delete;

    State state() const { return state_; }

private:
    int fd_ = -1;
    State state_ = State::Unlockable;
};

// Whether another open of the node holds its lock now; takes it for a moment to see.
bool nodeInUse(const std::string& path);

} // namespace tarvane
