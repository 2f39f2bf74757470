#pragma once

#include <functional>
#include <thread>

namespace tarvane {

// Takes a thread that must run to its end though nobody waits for it any
// more. It is joined once `finished` says so, at the latest when the program
// ends, so no thread outlives what it uses.
void finishInBackground(std::thread thread, std::function<bool()> finished);

} // namespace tarvane
