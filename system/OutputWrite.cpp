#include "system/OutputWrite.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tarvane {

std::string writeAll(std::FILE* file, std::string_view bytes, const std::atomic<bool>* stop) {
    using Clock = std::chrono::steady_clock;
    // Long enough for a slow reader; short enough that a stop ends the run within
    // 2 s even when both the trace and the report are stalled.
    constexpr auto kGiveUpAfterStop = std::chrono::milliseconds(500);
    Clock::time_point stalledSince{};
    bool stalled = false;
    while (!bytes.empty()) {
        errno = 0;
        const long long written = writeAvailable(file, bytes);
        if (written < 0) return errno != 0 ? std::strerror(errno) : "the write failed";
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            stalled = false;
            continue;
        }
        if (stop && stop->load()) {
            if (!stalled) {
                stalled = true;
                stalledSince = Clock::now();
            } else if (Clock::now() - stalledSince >= kGiveUpAfterStop) {
                return "its reader takes nothing more";
            }
        }
        waitWritable(file, 100);
    }
    return {};
}

} // namespace tarvane
