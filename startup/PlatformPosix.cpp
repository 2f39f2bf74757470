#include "startup/Platform.h"

#include <cstdlib>

namespace tarvane {

// Sleeps here wake on time: the link's plain pacing serves as it is.
void paceLinkWorkers() {}

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : std::string();
}

} // namespace tarvane
