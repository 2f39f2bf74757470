#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <set>

namespace tarvane {

// Ways the simulated board misbehaves, for tests of the updater's failure
// paths. The default is a well-behaved board that answers at once.
struct SimFaults {
    // Commands the board carries out but never answers.
    std::set<std::uint8_t> silent;
    // Command -> the first request of that command the board answers (1-based,
    // counted over the board's life). Earlier ones are ignored, like a board
    // that is not listening yet.
    std::map<std::uint8_t, std::uint32_t> answerFrom;
    // Every Nth request, of any command, is lost before the board sees it; 0 = never.
    std::uint32_t dropEvery = 0;
    // Every Nth answer frame goes out with a wrong CRC; 0 = never.
    std::uint32_t corruptCrcEvery = 0;
    // Every answer is sent twice, like a late answer to an earlier send.
    bool answerTwice = false;
    // Verify answers carry a CRC that does not match the flash.
    bool wrongVerifyCrc = false;
    // Commands whose answer carries an unknown command byte instead of their own.
    std::set<std::uint8_t> unknownAnswer;
    // The Nth request of a connection is not answered and the board drops the
    // connection, like a cable pulled mid-update; 0 = never.
    std::uint32_t closeAfter = 0;
    // Added before every answer.
    std::chrono::milliseconds answerDelay{0};
    // One answer later than the rest: the answer to the Nth request (1-based,
    // counted over the board's life) of a command is delayed this much more.
    // Answers leave in order, so the answers queued behind it wait too.
    struct LateAnswer {
        std::uint32_t request = 0;
        std::chrono::milliseconds delay{0};
    };
    std::map<std::uint8_t, LateAnswer> lateAnswer;
    // Full-speed USB pacing and flash timings (BoardTiming.h).
    bool usbTiming = false;
    // Once the board has taken this many requests over its life, its
    // transport reads nothing more from the host, like firmware that hangs;
    // 0 = never.
    std::uint32_t stopReadingAfter = 0;
};

} // namespace tarvane
