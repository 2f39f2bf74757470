// The terminal tool's words for each outcome: a missing row would silently
// take the last one's words and exit status.
#include "cli/OutcomeWords.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvane {
namespace {

TEST(OutcomeWords, EveryOutcomeHasItsOwnRowWithAStatusTheHelpLists) {
    for (int i = 0; i <= static_cast<int>(UpdateOutcome::Current); ++i) {
        const auto outcome = static_cast<UpdateOutcome>(i);
        const OutcomeWords& words = outcomeWords(outcome);
        EXPECT_EQ(words.outcome, outcome) << i;
        EXPECT_TRUE(std::any_of(kExitStatusMeanings.begin(), kExitStatusMeanings.end(),
                                [&](const ExitStatusMeaning& m) { return m.status == words.exitStatus; }))
            << i;
    }
}

} // namespace
} // namespace tarvane
