#pragma once

// What a finished update left behind, read back from the simulated board's
// request log and flash dump, and the log lines a successful update prints.
#include <filesystem>
#include <string>
#include <vector>

namespace tarvane::test {

// One line of tarvane-sim's --log: time since it started, command, length.
struct LoggedRequest {
    double ms = 0;
    int command = 0;
    int length = 0;
};

std::vector<LoggedRequest> readRequestLog(const std::filesystem::path& path);
std::size_t countRequests(const std::vector<LoggedRequest>& log, int command);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);

// Empty when `flash` (a dump of the board's 512 KiB) holds exactly the image
// of `hexFile`; otherwise what differs.
std::string flashMismatch(const std::vector<std::uint8_t>& flash, const std::string& hexFile);

// The log of a successful update, from "Update started" on.
const std::vector<std::string>& successLog();
// The lines of an update that got no answer.
const std::vector<std::string>& noResponseLog();
// The lines of an update stopped by the stall watchdog.
const std::vector<std::string>& stallLog();

} // namespace tarvane::test
