#pragma once

#include "usb/hidapi/HidApi.h"

#include <memory>
#include <string>

namespace tarvane {

// The HID library of this system. The library stays initialised while this
// object or any device it opened lives. Nothing, with `error`, when the
// library cannot start.
std::unique_ptr<HidApi> openSystemHidApi(std::string& error);

} // namespace tarvane
