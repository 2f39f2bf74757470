#pragma once

#include <string>

namespace tarvane {

// What the start-up does differently on each system; one implementation per
// platform, chosen by CMake.

// Where the system's sleeps are coarse, makes the link workers' pacing one
// that wakes on time.
void paceLinkWorkers();

// An environment variable as UTF-8; empty when unset.
std::string environmentText(const char* name);

} // namespace tarvane
