#pragma once

#include "usb/DeviceAddress.h"
#include "usb/ReportPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarvane {

// The one way to a device: opens the port an address names, or gives
// nothing with a plain sentence in `detail` (refused, access denied, ...).
// The port factory (usb/PortFactory.h) is the opener of every address; the
// trace and the support report's recorder wrap it (trace/TracingPort.h);
// tests give their own.
using PortOpener = std::function<std::unique_ptr<ReportPort>(const DeviceAddress&, std::uint16_t vendorId,
                                                             std::uint16_t productId, std::string& detail)>;

} // namespace tarvane
