#pragma once

#include "update/UpdateEvents.h"

#include <string_view>
#include <vector>

namespace tarvane {

// How an outcome ends the log, for every front end.
struct OutcomeFacts {
    UpdateOutcome outcome;
    // The lines that end the log of an update, and of a verify-only run;
    // whether the recovery lines follow them.
    std::vector<std::string_view> updateLines{};
    bool updateRecovery = false;
    std::vector<std::string_view> verifyLines{};
    bool verifyRecovery = false;

    // The closing lines of a run; `boardTouched` false leaves out the recovery
    // of a run stopped before it reached the board.
    std::vector<std::string_view> lines(bool verifyOnly, bool boardTouched = true) const;
};

const OutcomeFacts& outcomeFacts(UpdateOutcome outcome);

} // namespace tarvane
