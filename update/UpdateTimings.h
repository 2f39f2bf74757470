#pragma once

#include "update/Bootloader.h"
#include "update/UpdateEvents.h"

#include <array>
#include <cstdint>

namespace tarvane {

// Every send count, time-out and pause of an update, in one place.

// A phase's request: its command, how often it is sent at most, and how long
// each send waits for its answer before the next goes out.
struct PhaseRequest {
    UpdatePhase phase;
    std::uint8_t command;
    std::uint16_t sends;
    std::uint16_t timeoutMs;
};

// In the order an update makes them.
inline constexpr std::array<PhaseRequest, 5> kPhaseRequests{{
    {UpdatePhase::Connecting, CMD_QUERY, 30, 200},
    {UpdatePhase::Erasing, CMD_ERASE, 3, 1000},
    // Every batch; the link sends the batches after the first by itself.
    {UpdatePhase::Programming, CMD_PROGRAM, 3, 1000},
    {UpdatePhase::Verifying, CMD_VERIFY, 3, 1000},
    // The link sends it once with a 10 ms time-out whatever it is given:
    // the new application takes over at once and nobody answers.
    {UpdatePhase::Starting, CMD_START_APP, 3, 1000},
}};

// Pauses of the UI thread (no message or tick is handled meanwhile) that give
// the board time between one answer and the next request.
inline constexpr int kPauseAfterQueryMs = 1000;     // "Connected", then the erase request
inline constexpr int kPauseAfterEraseMs = 1000;     // "Flash erased", then programming
inline constexpr int kPauseAfterProgramMs = 1000;   // "Programming complete", then the verify request
inline constexpr int kPauseAroundStartAppMs = 1000; // before the start request and again after it
inline constexpr int kPauseBeforeCloseMs = 100;     // a run that starts nothing, before the link closes

// The progress timer's period, and the stalled ticks in a row the watchdog
// lets pass: it gives up at the next one.
inline constexpr int kProgressTimerMs = 500;
inline constexpr int kStallLimitTicks = 14;

} // namespace tarvane
