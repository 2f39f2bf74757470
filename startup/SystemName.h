#pragma once

#include <string>

namespace tarvane {

// The system the program runs on, in one short line for a support report:
// "Linux 6.1.0-18-amd64 x86_64", "Windows 10.0.19045 x64 (32-bit program)".
// One implementation per platform.
std::string systemDescription();

} // namespace tarvane
