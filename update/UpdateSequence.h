#pragma once

#include "firmware/FlashImage.h"
#include "firmware/HexFile.h"
#include "update/Bootloader.h"
#include "update/UpdateClock.h"
#include "update/UpdateEvents.h"
#include "update/UpdateLink.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace tarvane {

// What a run does to the board.
enum class UpdateMode {
    Update,
    // The Display board's new application is started at the end.
    UpdateAndStart,
    // Only connect and compare the board's CRC of the file's verification
    // range: no erase, no program, no start request.
    VerifyOnly,
};

// One update of a board, from the Update click to the completion lines:
// connect, erase, program, verify, start the application; the progress bar
// and the stall watchdog. It tells the user what happens through `events`
// and drives `link`. Every call comes on the UI thread.
class UpdateSequence {
public:
    UpdateSequence(UpdateEvents& events, UpdateClock& clock, UpdateLink& link);
    // Stops the link: its worker posts through this object.
    ~UpdateSequence();
    UpdateSequence(const UpdateSequence&) = delete;
    UpdateSequence& operator=(const UpdateSequence&) = delete;

    // Takes a file read and checked elsewhere (once for several boards) as
    // the next start()'s file when it names `path`.
    void useLoadedFile(const std::string& path, std::shared_ptr<const HexFile> file) {
        m_loaded.emplace(path, std::move(file));
    }
    // What the next run does; an interruption before it starts says so too.
    void setMode(UpdateMode mode) { m_mode = mode; }
    // An update first asks for the CRC of the file's range and leaves a board
    // that already holds the file untouched.
    void setSkipCurrent(bool skip) { m_skipCurrent = skip; }
    // The Update click: the file is read, checked and its verification range
    // computed once, then the board is looked for and the link started.
    void start(const std::string& path);
    // Ends the connection without a word (the window is closing).
    void disconnect();
    // The user stops the run (Ctrl-C in a terminal): the link stops, the log
    // says so and the run ends as Interrupted, whether or not it had started.
    void interrupt();

    // The clock's periodic tick: progress and the stall watchdog.
    void onTick();
    // Entry for what the link's worker posted, once it is on the UI thread.
    void onLinkMessage(const LinkMessage& message);

    UpdatePhase phase() const { return m_phase; }
    // From the Update click until the board has verified (or the run stopped).
    bool running() const { return m_phase != UpdatePhase::Idle && m_phase != UpdatePhase::Starting; }
    // What the last file that passed its check holds, for a summary.
    const VerifyRange& verifyRange() const { return m_range; }
    // The file of the last start as it was read, else the one read for the
    // next (a run stopped while it waited); null before any.
    std::shared_ptr<const HexFile> file() const { return m_file ? m_file : m_loaded ? m_loaded->second : nullptr; }
    std::uint64_t dataBytes() const { return m_dataBytes; }

private:
    // The box's detail always gives the reason; the log only for a faulty line.
    void fileNotLoaded(const std::string& reason, bool logReason);
    void connect();
    // Ends a run that failed or was stopped: the link, the ticks, the bar.
    void stopUpdate();
    void onResponse(std::uint8_t command, const std::vector<std::uint8_t>& data);
    void onTimeout();
    void onVerified(bool match);
    void onCurrentChecked(bool match);
    // The phase's request, with its sends and time-out (UpdateTimings.h).
    void sendRequest(UpdatePhase phase);
    bool verifyOnly() const { return m_mode == UpdateMode::VerifyOnly; }
    // The outcome's closing lines for this run's mode.
    void logEnding(UpdateOutcome outcome, bool boardTouched = true);

    UpdateEvents& m_events;
    UpdateClock& m_clock;
    UpdateLink& m_link;
    std::uint16_t m_vendorId = kBootloaderVendorId;
    std::uint16_t m_productId = kBootloaderProductId;

    // The file the next start() takes for its path, and the file of this update.
    std::optional<std::pair<std::string, std::shared_ptr<const HexFile>>> m_loaded;
    std::shared_ptr<const HexFile> m_file;
    VerifyRange m_range;
    bool m_skipCurrent = false;
    // The verify request sent before erasing is awaited.
    bool m_checkingCurrent = false;
    std::uint64_t m_dataBytes = 0;
    UpdateMode m_mode = UpdateMode::Update;

    UpdatePhase m_phase = UpdatePhase::Idle;
    std::int32_t m_stallTicks = 0;
    std::int32_t m_lastPos = 0;
    std::int32_t m_lastRange = 0;
};

} // namespace tarvane
