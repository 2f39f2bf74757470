#include "sim/SimRequest.h"

#include <cstdio>

namespace tarvane {

const char* outcomeName(SimOutcome outcome) {
    switch (outcome) {
    case SimOutcome::Answered: return "answered";
    case SimOutcome::Silent: return "silent";
    case SimOutcome::Unanswered: return "unanswered";
    case SimOutcome::NotYet: return "not-yet";
    case SimOutcome::Dropped: return "dropped";
    case SimOutcome::Rejected: return "rejected";
    case SimOutcome::Closed: return "closed";
    }
    return "?";
}

std::string formatRequest(const SimRequest& request, std::chrono::steady_clock::time_point origin) {
    const std::chrono::duration<double, std::milli> t = request.time - origin;
    char line[96];
    std::snprintf(line, sizeof line, "t=%.3fms cmd=%u len=%zu %s", t.count(), unsigned{request.command},
                  request.payloadLength, outcomeName(request.outcome));
    return line;
}

} // namespace tarvane
