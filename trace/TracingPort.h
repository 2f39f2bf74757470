#pragma once

#include "trace/TraceFile.h"
#include "usb/HidBootDevice.h"

#include <memory>

namespace tarvane {

// Every port `inner` opens, wrapped so that each report that crosses it,
// either way, lands in `trace` with its time since the port opened. The
// link and the back-ends see an ordinary port. An empty trace wraps nothing;
// wrapping twice (a file and a recorder) sends each report to both.
PortOpener tracedOpener(PortOpener inner, std::shared_ptr<TraceSink> trace);

// The window's TARVANE_TRACE: `opener` wrapped in a trace at `utf8Path`, or
// left as it is when the path is empty or cannot be written; `message` then
// holds what the window tells the user, once.
PortOpener tracedOpenerFromEnvironment(PortOpener opener, const std::string& utf8Path, const TraceHeader& header,
                                       std::string& message);

} // namespace tarvane
