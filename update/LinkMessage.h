#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tarvane {

// A result handed from the worker to the UI thread. The response data is a
// copy, so a later answer can never change it while the window reads it.
struct LinkMessage {
    enum class Kind { Response, Timeout };

    Kind kind = Kind::Response;
    std::uint8_t command = 0;
    // Response bytes after the command byte (CRC excluded).
    std::vector<std::uint8_t> data;
    // Which connection posted it; messages of an earlier one are stale.
    std::uint32_t connection = 0;
};

// Called on the worker thread; a front end routes the message to its UI thread.
using LinkNotifier = std::function<void(LinkMessage)>;

} // namespace tarvane
