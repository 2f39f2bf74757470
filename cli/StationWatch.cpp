#include "cli/StationWatch.h"

#include "cli/ListDevices.h"
#include "link/Protocol.h"
#include "usb/DeviceProbe.h"
#include "usb/PortFactory.h"

#include <algorithm>

namespace tarvane {

std::vector<BoardTarget> StationWatch::present(const std::vector<std::string>& busy) const {
    std::vector<BoardTarget> boards;
    if (watched_.empty()) {
        std::string detail;
        for (DeviceAddress& address : usbBootloaderAddresses(detail)) boards.push_back({address, openReportPort});
        return boards;
    }
    for (const BoardTarget& target : watched_) {
        const std::string key = target.address.toString();
        if (std::find(busy.begin(), busy.end(), key) != busy.end()) {
            boards.push_back(target);
            continue;
        }
        const DevicePresence presence = probeDevice(target.address, kBootloaderVendorId, kBootloaderProductId);
        if (presence == DevicePresence::Present) boards.push_back(target);
    }
    return boards;
}

} // namespace tarvane
