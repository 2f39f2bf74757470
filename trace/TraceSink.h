#pragma once

#include "usb/ReportPort.h"

#include <cstdint>
#include <string_view>

namespace tarvane {

// Where a traced port sends what crosses it: a trace file, or the recorder
// the window keeps in memory. Reports come from the worker thread,
// connections open and close on the UI thread, so every sink locks.
class TraceSink {
public:
    virtual ~TraceSink() = default;

    // "# connection N opened"; returns N, counted from 1.
    virtual std::uint32_t openConnection() = 0;
    // "# connection N closed".
    virtual void closeConnection(std::uint32_t connection) = 0;
    // "# connection N lost: WHY", once per connection at most (the caller's part).
    virtual void connectionLost(std::uint32_t connection, std::string_view why) = 0;
    virtual void report(std::int64_t micros, char direction, ReportView report) = 0;
};

} // namespace tarvane
