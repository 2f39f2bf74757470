#pragma once

#include <string>

namespace tarvane {

// "operation: (0xCODE) the system's message", for a user who has to act on it.
std::string win32ErrorText(const char* operation, unsigned long code);

} // namespace tarvane
