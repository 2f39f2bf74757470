#pragma once

#include "link/BootloaderLink.h"

namespace tarvane {

// Reaches into a link for tests and fuzzers that set its request state or
// drive the worker's receive step by hand, with no worker thread running.
struct BootloaderLinkPeer {
    static constexpr std::uint32_t kIdle = BootloaderLink::kIdle;
    static constexpr std::uint32_t kAwaiting = BootloaderLink::kAwaiting;

    static auto& shared(BootloaderLink& link) { return link.shared_; }
    static auto& decoder(BootloaderLink& link) { return link.worker_state_.decoder; }
    static void dispatchResponse(BootloaderLink& link) { link.dispatchResponse(); }
};

} // namespace tarvane
