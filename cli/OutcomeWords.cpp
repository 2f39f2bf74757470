#include "cli/OutcomeWords.h"

#include <array>

namespace tarvane {

const OutcomeWords& outcomeWords(UpdateOutcome outcome) {
    using O = UpdateOutcome;
    static constexpr std::array<OutcomeWords, 9> table{{
        {.outcome = O::Updated, .exitStatus = kExitUpdated, .resultWord = "updated", .summaryWords = "updated in"},
        {.outcome = O::Verified, .exitStatus = kExitUpdated, .resultWord = "verified", .summaryWords = "verified in"},
        {.outcome = O::VerificationFailed,
         .exitStatus = kExitFailed,
         .resultWord = "failed",
         .summaryWords = "failed (verification) after"},
        {.outcome = O::NoResponse,
         .exitStatus = kExitFailed,
         .resultWord = "failed",
         .summaryWords = "failed (no response) after"},
        {.outcome = O::Stalled, .exitStatus = kExitFailed, .resultWord = "failed", .summaryWords = "failed (stalled) after"},
        {.outcome = O::FileNotLoaded,
         .exitStatus = kExitBadFile,
         .resultWord = "failed",
         .summaryWords = "file not loaded after"},
        {.outcome = O::DeviceNotFound,
         .exitStatus = kExitNoDevice,
         .resultWord = "failed",
         .summaryWords = "not found after"},
        {.outcome = O::Interrupted,
         .exitStatus = kExitFailed,
         .resultWord = "interrupted",
         .summaryWords = "interrupted after"},
        {.outcome = O::Current,
         .exitStatus = kExitUpdated,
         .resultWord = "current",
         .summaryWords = "already current in"},
    }};
    for (const OutcomeWords& words : table) {
        if (words.outcome == outcome) return words;
    }
    return table.back();
}

} // namespace tarvane
