#pragma once

#include <array>
#include <string_view>

namespace tarvane {

// Exit statuses of tarvane-update; scripts rely on them, so never renumber.
enum ExitStatus : int {
    kExitUpdated = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitBadFile = 3,
    kExitNoDevice = 4,
};

// What each status means, as --help lists them.
struct ExitStatusMeaning {
    ExitStatus status;
    std::string_view meaning;
};

inline constexpr std::array<ExitStatusMeaning, 5> kExitStatusMeanings{{
    {.status = kExitUpdated, .meaning = "Updated, verified (--verify-only), already current (--skip-current) or inspected"},
    {.status = kExitFailed, .meaning = "Failed after the device was found, or interrupted"},
    {.status = kExitUsage, .meaning = "Usage error"},
    {.status = kExitBadFile, .meaning = "The HEX file cannot be loaded or fails its check"},
    {.status = kExitNoDevice, .meaning = "Device not found"},
}};

} // namespace tarvane
