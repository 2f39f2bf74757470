#pragma once

#include "trace/TraceFile.h"
#include "usb/PortOpener.h"
#include "usb/ReportPort.h"

#include <memory>

namespace tarvane {

// The trace's decorator of a port: `port` as it is, except that each report
// that crosses it, either way, lands in `trace` with its time since the port
// opened. The link and the back-ends see an ordinary port.
std::unique_ptr<ReportPort> tracePort(std::unique_ptr<ReportPort> port, std::shared_ptr<TraceSink> trace);

// Every port `inner` opens, decorated by tracePort. An empty trace wraps
// nothing; wrapping twice (a file and a recorder) sends each report to both.
PortOpener tracedOpener(PortOpener inner, std::shared_ptr<TraceSink> trace);

} // namespace tarvane
