#pragma once

#include "sim/SimFaults.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvane {

struct SimCommandLine {
    // Exactly one transport: a TCP address (--listen) or a gadget device (--gadget).
    std::string host;
    std::uint16_t port = 0;
    std::string gadgetPath;
    std::string logPath;
    std::string dumpPath;
    // A trace to act out instead of the simulated board (--replay).
    std::string replayPath;
    // A HEX file the flash holds from the start.
    std::string loadPath;
    SimFaults faults;
};

// Parses tarvane-sim's arguments. Returns an exit status when the program
// should end at once (help, version or a usage error, already reported).
std::optional<int> parseSimCommandLine(int argc, char** argv, SimCommandLine& result);

// A command by name (query, erase, program, verify, start) or number (1, 0x03).
std::optional<std::uint8_t> parseCommandName(const std::string& text);

// "HOST:PORT", with the host in brackets for IPv6 ("[::1]:5000").
bool parseListenAddress(const std::string& text, std::string& host, std::uint16_t& port);

} // namespace tarvane
