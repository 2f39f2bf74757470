#pragma once

#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "link/BootloaderLink.h"
#include "update/UpdateScreen.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvane {

// One update of a board, from the Update click to the completion lines:
// connect, erase, program, verify, start the application; the progress bar
// and the stall watchdog. It owns the link to the board. Every call comes on
// the UI thread.
class UpdateSequence {
public:
    static constexpr int kTimerPeriodMs = 500;
    static constexpr int kStallLimitTicks = 14;

    UpdateSequence(UpdateScreen& screen, UpdateWindow& window);
    UpdateSequence(const UpdateSequence&) = delete;
    UpdateSequence& operator=(const UpdateSequence&) = delete;

    // Where the bootloader is looked for; the next connection uses it.
    void useDevice(DeviceAddress address, PortOpener opener) { m_link.useDevice(std::move(address), std::move(opener)); }
    // Caption of the box that says a file cannot be loaded.
    void setBoxCaption(std::string caption) { boxCaption_ = std::move(caption); }

    // Checks a file ahead of its update, as a production line does before it
    // waits for a board; the next start() with the same path takes the result.
    const HexCheckResult& checkFile(const std::string& path);
    // Takes the result of a check made elsewhere (one check for several
    // boards) as checkFile's for `path`.
    void useCheckedFile(const std::string& path, const HexCheckResult& check) { checked_.emplace(path, check); }
    // From the next start() on: only connect and compare the board's CRC of
    // the file's verification range; no erase, no program, no start request.
    void setVerifyOnly(bool on) { verifyOnly_ = on; }
    // The Update click: the file is checked, opened and its verification
    // range computed once, then the board is looked for and the link started.
    // `startApplication`: the Display board's new application is started.
    void start(const std::string& path, bool startApplication);
    // Ends the connection without a word (the window is closing).
    void disconnect();
    // The user stops the run (Ctrl-C in a terminal): the link stops, the log
    // says so and the run ends as Interrupted, whether or not it had started.
    void interrupt();

    void onTimer(int id);
    // Entry for what the link's worker posted, once it is on the UI thread.
    void onLinkMessage(const LinkMessage& message);

    bool running() const { return m_updating; }
    // What the last file that passed its check holds, for a summary.
    const VerifyRange& verifyRange() const { return range_; }
    std::uint64_t dataBytes() const { return dataBytes_; }

private:
    friend struct UpdateSequencePeer;

    // The box's detail always gives the reason; the log only for a faulty line.
    void fileNotLoaded(const std::string& reason, bool logReason);
    void toggleConnection();
    void stopUpdate();
    int onLinkResponse(std::uint8_t command, const std::vector<std::uint8_t>& data);
    int onLinkTimeout(std::uint8_t command);
    void sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs);
    void reportAnswered(std::uint8_t command);
    void finish(UpdateOutcome outcome);
    void finishVerifyOnly(bool match);

    UpdateScreen& screen_;
    UpdateWindow& window_;
    std::string boxCaption_ = "tarvane-updater";

    BootloaderLink m_link;
    std::uint16_t m_vendorId = kBootloaderVendorId;
    std::uint16_t m_productId = kBootloaderProductId;

    // The file of this update, checked once and its image loaded once.
    std::optional<std::pair<std::string, HexCheckResult>> checked_;
    FlashImage image_;
    VerifyRange range_;
    std::uint64_t dataBytes_ = 0;
    bool startApplication_ = false;
    bool verifyOnly_ = false;

    // Where the sequence stands.
    bool m_connected = false;
    bool m_updating = false;
    bool m_showProgress = false;
    std::int32_t m_stallTicks = 0;
    std::int32_t m_lastPos = 0;
    std::int32_t m_lastRange = 0;
    // The command whose answer the window waits for; 0 when none.
    std::uint8_t m_pending = 0;
};

} // namespace tarvane
