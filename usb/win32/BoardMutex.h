#pragma once

#include "win32/Win32Handles.h"

#include <string>

namespace tarvane {

// A system-wide mutex named after a board's device path, which every updater
// of ours takes before it opens the board: where the system does not enforce
// an exclusive open of a HID device (Wine), it still keeps a second updater,
// of this user or another, away. Held by the thread that took it until this
// object goes or that thread ends; a holder that died leaves it abandoned,
// and the next one takes it.
class BoardMutex {
public:
    enum class State {
        Held,        // taken by this object
        InUse,       // another holds it (or another user's, which we may not even open)
        Unavailable, // the system would not make it; the exclusive open alone guards the board
    };

    explicit BoardMutex(const std::wstring& devicePath);
    ~BoardMutex();
    BoardMutex(const BoardMutex&) = delete;
    BoardMutex& operator=(const BoardMutex&) = delete;

    State state() const { return state_; }

private:
    UniqueHandle handle_;
    State state_ = State::Unavailable;
};

// The mutex's name: the same for every spelling of one path (device paths
// ignore case); a hash, since names may not hold backslashes.
std::wstring boardMutexName(const std::wstring& devicePath);

} // namespace tarvane
