#pragma once

#include "update/LinkMessage.h"

namespace tarvane {

// Time as an update needs it from its front end. Every call comes on the UI
// thread except post, which the link's worker calls.
class UpdateClock {
public:
    // UpdateSequence::onTick every `periodMs` until stopTicks().
    virtual void startTicks(int periodMs) = 0;
    virtual void stopTicks() = 0;
    // Blocks the UI thread; no message or tick is handled meanwhile.
    virtual void pause(int ms) = 0;
    // Hands the message to the UI thread, where it must reach
    // UpdateSequence::onLinkMessage.
    virtual void post(LinkMessage message) = 0;

protected:
    ~UpdateClock() = default;
};

} // namespace tarvane
