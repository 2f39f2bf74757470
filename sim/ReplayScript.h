#pragma once

#include "trace/TraceReader.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

namespace tarvane {

// A recorded connection as the board saw it: each request the host sent
// (the payload of a frame assembled from `>` reports) with the reports the
// board sent after it and before the next request, each delayed as recorded
// from the request's last report.
struct ReplayAnswer {
    std::chrono::microseconds delay{0};
    std::array<std::uint8_t, kReportSize> bytes{};
};

struct ReplayRequest {
    std::vector<std::uint8_t> payload; // command byte and data, without the CRC
    std::vector<ReplayAnswer> answers;
    // The host lost the board after this request: its answers go, then the connection.
    bool lostAfter = false;
};

struct ReplayConnection {
    // Reports the board sent before any request, delayed from the connection's start.
    std::vector<ReplayAnswer> opening;
    std::vector<ReplayRequest> requests;
    // The host lost the board before it sent anything.
    bool lostAtStart = false;
};

std::vector<ReplayConnection> replayScript(const TraceContents& trace);

} // namespace tarvane
