#pragma once

#include "usb/DeviceAddress.h"

#include <chrono>
#include <string>

namespace tarvane {

// Where a station writes the support report of a board whose update starts
// at `when`: DIR/YYYYMMDD-HHMMSSZ-ADDRESS.txt, the address made fit for a
// file name.
std::string stationReportPath(const std::string& dir, const DeviceAddress& address,
                              std::chrono::system_clock::time_point when);

} // namespace tarvane
