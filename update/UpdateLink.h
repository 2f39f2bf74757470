#pragma once

#include "firmware/FlashImage.h"
#include "update/LinkMessage.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarvane {

// The bootloader link as an update drives it, on the UI thread.
// BootloaderLink is the real one; tests script their own. Where the
// bootloader is looked for is the front end's business, set on the real link.
class UpdateLink {
public:
    // Opens the bootloader; false when none is found, with the reason in deviceDetail().
    virtual bool findDevice(std::uint16_t vendorId, std::uint16_t productId) = 0;
    virtual const std::string& deviceDetail() const = 0;
    // The bytes of the HEX file, read once, that program requests stream from.
    virtual bool useFile(std::shared_ptr<const std::string> bytes) = 0;

    // A new connection: results go to `notifier`, from the link's worker.
    virtual void connect(LinkNotifier notifier) = 0;
    // Ends the connection and lets the board go; nothing is posted after.
    virtual void disconnect() = 0;
    virtual bool connected() const = 0;
    // Identifies the current connection in the messages it posts.
    virtual std::uint32_t connection() const = 0;

    // Starts a request while none is pending. False, with nothing to send,
    // for a program request that finds no record or an empty range.
    virtual bool sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs) = 0;
    virtual bool sendVerifyRequest(const VerifyRange& range, std::uint16_t sends, std::uint16_t timeoutMs) = 0;

    // What the progress bar and the watchdog read.
    struct Progress {
        std::uint8_t command = 0;
        std::uint16_t sendsTotal = 0;
        std::uint16_t sendsLeft = 0;
        std::uint32_t linesTotal = 0;
        std::uint32_t linesConsumed = 0;
    };
    virtual Progress progress() const = 0;

protected:
    ~UpdateLink() = default;
};

} // namespace tarvane
