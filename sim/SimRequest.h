#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvane {

// What the board did with a request it received.
enum class SimOutcome {
    Answered,
    Silent,      // carried out, answer held back by a fault
    Unanswered,  // the protocol gives no answer (start application, unknown command)
    NotYet,      // ignored: the board answers this command only from a later request on
    Dropped,     // lost before the board saw it
    Rejected,    // malformed: a bad record checksum, a short verify, a runaway range
    Closed,      // the board dropped the connection instead
};

// One entry of the board's request log.
struct SimRequest {
    std::chrono::steady_clock::time_point time;
    std::uint8_t command = 0;
    std::size_t payloadLength = 0;
    SimOutcome outcome = SimOutcome::Answered;
};

const char* outcomeName(SimOutcome outcome);

// "t=12.345ms cmd=3 len=232 answered": time since `origin`, command byte,
// payload length (command byte included, CRC excluded) and outcome.
std::string formatRequest(const SimRequest& request, std::chrono::steady_clock::time_point origin);

} // namespace tarvane
