#include "update/UpdateOutcomes.h"

#include <array>

namespace tarvane {
namespace {

// What the user does after a run that may have left the board half-written.
const std::array<std::string_view, 2> kRecoveryLines{"a) Remove the USB-C CHARGER cable", "b) Repeat STEP 4 above"};

} // namespace

std::vector<std::string_view> OutcomeFacts::lines(bool verifyOnly, bool boardTouched) const {
    std::vector<std::string_view> all = verifyOnly ? verifyLines : updateLines;
    if ((verifyOnly ? verifyRecovery : updateRecovery) && boardTouched) {
        all.insert(all.end(), kRecoveryLines.begin(), kRecoveryLines.end());
    }
    return all;
}

const OutcomeFacts& outcomeFacts(UpdateOutcome outcome) {
    using O = UpdateOutcome;
    static const std::vector<std::string_view> noResponse{
        "", ">> No Response from the device!", "a) Verify that the micro\u2013B USB cable is plugged in correctly",
        "b) Remove the USB-C CHARGER cable", "c) Repeat STEP 4 above"};
    static const std::vector<std::string_view> stalled{"", ">> Timeout detected!",
                                                       ">> The device may not be in bootloader mode"};
    static const std::vector<std::string_view> cannotLoad{"", ">> Cannot load the HEX file."};
    static const std::array<OutcomeFacts, 9> table{{
        {.outcome = O::Updated,
         .updateLines = {"=== UPGRADE COMPLETE ===", "a) Remove the USB-C CHARGER and micro\u2013B USB cables",
                         "b) Slide the switch S4 to OFF and then to ON",
                         "c) Push the POWER button to power up the Tarvane"}},
        {.outcome = O::Verified},
        {.outcome = O::VerificationFailed,
         .updateLines = {"", ">> Verification failed!"},
         .updateRecovery = true,
         .verifyLines = {"", ">> Verification failed!", ">> The board does not hold this file"}},
        {.outcome = O::NoResponse, .updateLines = noResponse, .verifyLines = noResponse},
        {.outcome = O::Stalled, .updateLines = stalled, .updateRecovery = true, .verifyLines = stalled,
         .verifyRecovery = true},
        {.outcome = O::FileNotLoaded, .updateLines = cannotLoad, .verifyLines = cannotLoad},
        {.outcome = O::DeviceNotFound},
        {.outcome = O::Interrupted,
         .updateLines = {"", ">> Update interrupted"},
         .updateRecovery = true,
         .verifyLines = {"", ">> Verification interrupted"}},
        {.outcome = O::Current},
    }};
    for (const OutcomeFacts& facts : table) {
        if (facts.outcome == outcome) return facts;
    }
    return table.back();
}

} // namespace tarvane
