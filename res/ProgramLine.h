#pragma once

#include "res/version.h"

#include <string>
#include <string_view>

namespace tarvane {

// The program's name and version, "tarvane-update 1.1.0": what --version
// prints and what traces and support reports begin with.
inline std::string programLine(std::string_view programName) {
    return std::string(programName) + " " TARVANE_VERSION;
}

} // namespace tarvane
