#pragma once

#include "usb/ReportPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

// Time to reach a board over TCP before the search gives up.
inline constexpr int kTcpConnectTimeoutMs = 2000;
// A report that cannot be sent within this time means the connection is stuck;
// the worker must never wait on it longer.
inline constexpr int kTcpWriteTimeoutMs = 500;

// How long a new connection is watched for a refusal before the board counts
// as found: a board that serves another host says so in one line and closes.
inline constexpr int kTcpRefusalWaitMs = 100;

// The `tcp:HOST:PORT` back-end: each 64-byte report travels as exactly 64 bytes
// in both directions, without a report-ID byte. Returns nullptr and a plain
// `error` when the board cannot be reached or refuses the connection (the
// line it sent, such as that the board is in use); `inUse`, when given, tells
// a refusal (the board serves another host) from a board out of reach.
std::unique_ptr<ReportPort> openTcpReportPort(const std::string& host, std::uint16_t port, std::string& error,
                                              bool* inUse = nullptr);

} // namespace tarvane
