#include "cli/WaitForDevice.h"

#include "link/Protocol.h"
#include "usb/DeviceProbe.h"

#include <chrono>
#include <optional>
#include <thread>

namespace tarvane {

void waitForDevice(const DeviceAddress& address, double seconds, TerminalOutput& output,
                   const std::atomic<bool>* stop) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kInterval = std::chrono::milliseconds(200);
    constexpr auto kSettleTime = std::chrono::seconds(1);

    const auto start = Clock::now();
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(seconds));
    std::optional<Clock::time_point> refusedSince;
    for (;;) {
        const auto now = Clock::now();
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
        const DevicePresence presence = probeDevice(address, kBootloaderVendorId, kBootloaderProductId);
        // A board another updater holds is there: the search says it is in use.
        if (presence == DevicePresence::Present || presence == DevicePresence::InUse) return;
        if (presence == DevicePresence::AccessDenied) {
            if (!refusedSince) refusedSince = now;
            // Refused for longer than udev needs: a real permission problem,
            // which the search will explain.
            if (now - *refusedSince >= kSettleTime) return;
        } else {
            refusedSince.reset();
        }
        if (waited >= limit || (stop && stop->load())) return;
        output.waiting(waited.count(), limit.count());
        std::this_thread::sleep_until(std::min(now + kInterval, start + limit));
    }
}

} // namespace tarvane
