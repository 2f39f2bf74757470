#pragma once

#include <chrono>

namespace tarvane {

// Figures of the full-speed USB timing model (SimFaults::usbTiming). They are
// chosen to be typical of a 512 KiB flash microcontroller on a full-speed HID
// link, so throughput measured against the simulator is what a real board shows.

// A full-speed interrupt endpoint moves one 64-byte report per 1 ms frame, in
// each direction independently.
inline constexpr std::chrono::microseconds kReportInterval{1000};

// The host controller polls an interrupt endpoint somewhere inside each frame,
// not at its very start, so a report the host hands over this soon after a
// frame ended (its previous report crossed, or an answer arrived) still rides
// the next frame. Without it a host
// thread that wakes a few microseconds late would lose a whole frame's share
// on every report, which no real bus charges.
inline constexpr std::chrono::microseconds kFrameSlack{250};

// Erasing the whole program flash: 128 pages of 4 KiB at about 3 ms each.
// It stays well inside the updater's 1 s erase time-out, as a real erase must.
inline constexpr std::chrono::milliseconds kEraseTime{400};

// Programming one 32-bit flash word (self-timed word write, ~20-40 us on
// parts of this class). A record costs one word per aligned word it touches,
// so a batch of eleven 16-byte records takes 44 x 25 us = 1.1 ms.
inline constexpr std::chrono::microseconds kWordProgramTime{25};

// A table-driven CRC on the board's core reads about 25 MB/s: 21 ms for the
// whole flash.
inline constexpr std::chrono::nanoseconds kCrcTimePerByte{40};

} // namespace tarvane
