#pragma once

#include "sim/SimulatedBoard.h"
#include "usb/ReportPort.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tarvane::test {

using Report = std::array<std::uint8_t, kReportSize>;
using Bytes = std::vector<std::uint8_t>;

// A request payload framed and cut into 64-byte reports, the last padded with zeros.
std::vector<Report> requestReports(Bytes payload);

// One raw record (length, offset, type, data, checksum) as a program batch carries it.
Bytes record(std::uint8_t type, std::uint16_t offset, const Bytes& data);
Bytes linearRecord(std::uint16_t upper);
// CMD_PROGRAM followed by the records back to back.
Bytes programPayload(const std::vector<Bytes>& records);
Bytes verifyPayload(std::uint32_t start, std::uint32_t length);

// Sends a request to the board at `now`.
void sendRequest(SimulatedBoard& board, const Bytes& payload,
                 SimulatedBoard::Clock::time_point now = SimulatedBoard::Clock::now());

// Takes every queued report and decodes the answers whose CRC holds.
std::vector<Bytes> takeAnswers(SimulatedBoard& board);
// Decodes answers from reports.
std::vector<Bytes> decodeAnswers(const std::vector<Report>& reports);

} // namespace tarvane::test
