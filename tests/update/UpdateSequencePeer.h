#pragma once

#include "update/UpdateSequence.h"

namespace tarvane {

// Puts a sequence into a state that would otherwise take a board and seconds
// of real time to reach, for the tests of its watchdog and its guards.
struct UpdateSequencePeer {
    static BootloaderLink& link(UpdateSequence& s) { return s.m_link; }
    // As if an update had just connected: updating, with the watchdog fresh.
    static void startWatching(UpdateSequence& s, bool showProgress) {
        s.m_updating = true;
        s.m_showProgress = showProgress;
        s.m_lastPos = -1;
        s.m_lastRange = -1;
    }
    static std::int32_t stallTicks(const UpdateSequence& s) { return s.m_stallTicks; }
    static bool connected(const UpdateSequence& s) { return s.m_connected; }
    static std::uint8_t pending(const UpdateSequence& s) { return s.m_pending; }
    static void setPending(UpdateSequence& s, std::uint8_t command) { s.m_pending = command; }
    static void answer(UpdateSequence& s, std::uint8_t command) { s.onLinkResponse(command, {}); }
};

} // namespace tarvane
