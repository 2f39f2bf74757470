#pragma once

#include "cli/UpdateOptions.h"

#include <string>
#include <vector>

namespace tarvane {

// Which of a station's boards are plugged in now: the given addresses that
// answer, or, with none given, every USB bootloader.
class StationWatch {
public:
    explicit StationWatch(std::vector<BoardTarget> watched) : watched_(std::move(watched)) {}

    // The boards there now; `busy` ones (being updated) are not probed, so a
    // probe never meets its own update, and are reported present.
    std::vector<BoardTarget> present(const std::vector<std::string>& busy) const;

private:
    std::vector<BoardTarget> watched_;
};

} // namespace tarvane
