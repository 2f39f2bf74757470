#include "update/UpdateSequence.h"

#include "update/UpdateOutcomes.h"
#include "update/UpdateTimings.h"

namespace tarvane {
namespace {

// The request of a phase; Idle has none and gives command 0.
PhaseRequest requestOf(UpdatePhase phase) {
    for (const PhaseRequest& request : kPhaseRequests) {
        if (request.phase == phase) return request;
    }
    return {UpdatePhase::Idle, 0, 0, 0};
}

std::uint8_t commandOf(UpdatePhase phase) { return requestOf(phase).command; }

UpdatePhase phaseOf(std::uint8_t command) {
    for (const PhaseRequest& request : kPhaseRequests) {
        if (request.command == command) return request.phase;
    }
    return UpdatePhase::Idle;
}

} // namespace

UpdateSequence::UpdateSequence(UpdateEvents& events, UpdateClock& clock, UpdateLink& link)
    : m_events(events), m_clock(clock), m_link(link) {}

UpdateSequence::~UpdateSequence() {
    m_link.disconnect();
}

void UpdateSequence::start(const std::string& path) {
    if (path.empty()) {
        fileNotLoaded("No HEX file is chosen.", false);
        return;
    }
    // A file read ahead of this update counts once; the next Update reads it again.
    m_file = m_loaded && m_loaded->first == path ? m_loaded->second : loadHexFile(path);
    m_loaded.reset();
    const HexCheckResult& check = m_file->check;
    // A file that fails its check never reaches the board; the log names the
    // faulty line, which only the check can tell.
    if (!check.ok) {
        fileNotLoaded(check.describe(), !check.unreadable);
        return;
    }
    // From here on only these bytes are used, whatever becomes of the file.
    m_link.useFile(m_file->bytes);
    m_range = check.range;
    m_dataBytes = check.dataBytes;

    m_events.progressShown(false);
    m_events.logCleared();
    m_events.logLine(verifyOnly() ? "Verifying the board against the file (no erase)" : "Update started");

    m_phase = UpdatePhase::Connecting;
    m_events.running(true);
    connect();
}

void UpdateSequence::fileNotLoaded(const std::string& reason, bool logReason) {
    logEnding(UpdateOutcome::FileNotLoaded);
    if (logReason) m_events.logLine(">> " + reason);
    m_events.problem({UpdateProblem::Kind::FileNotLoaded, "Cannot load the HEX file.", reason});
    m_events.ended(UpdateOutcome::FileNotLoaded);
}

void UpdateSequence::disconnect() {
    m_link.disconnect();
}

void UpdateSequence::connect() {
    m_link.disconnect();
    if (!m_link.findDevice(m_vendorId, m_productId)) {
        m_events.problem({UpdateProblem::Kind::DeviceNotFound, "Device not found", m_link.deviceDetail()});
        stopUpdate();
        m_events.ended(UpdateOutcome::DeviceNotFound);
        return;
    }
    m_link.connect([this](LinkMessage message) { m_clock.post(std::move(message)); });

    m_stallTicks = 0;
    m_lastPos = -1;
    m_lastRange = -1;
    m_clock.startTicks(kProgressTimerMs);

    m_events.logLine("Connecting...");
    sendRequest(UpdatePhase::Connecting);
}

void UpdateSequence::sendRequest(UpdatePhase phase) {
    const PhaseRequest request = requestOf(phase);
    const std::uint8_t command = request.command;
    const bool built = phase == UpdatePhase::Verifying
                           ? m_link.sendVerifyRequest(m_range, request.sends, request.timeoutMs)
                           : m_link.sendRequest(command, request.sends, request.timeoutMs);
    m_phase = phase;
    if (built) {
        const UpdateLink::Progress p = m_link.progress();
        m_events.phaseProgress(phase, 0, command == CMD_PROGRAM ? p.linesTotal : p.sendsTotal);
    }
}

void UpdateSequence::stopUpdate() {
    m_phase = UpdatePhase::Idle;
    m_checkingCurrent = false;
    m_clock.stopTicks();
    m_link.disconnect();
    m_events.running(false);
    m_events.progressShown(false);
}

void UpdateSequence::onLinkMessage(const LinkMessage& message) {
    // What a stopped or earlier connection posted last is stale: acting on it
    // could move a run that is no longer connected.
    if (!m_link.connected() || message.connection != m_link.connection()) return;
    if (message.kind == LinkMessage::Kind::Response) {
        onResponse(message.command, message.data);
    } else {
        onTimeout();
    }
}

void UpdateSequence::onResponse(std::uint8_t command, const std::vector<std::uint8_t>& data) {
    // Only the answer to the request now awaited moves the run on, so no
    // phase can run twice.
    if (!running() || command != commandOf(m_phase)) return;
    const UpdateLink::Progress p = m_link.progress();
    const std::int64_t total = command == CMD_PROGRAM ? p.linesTotal : p.sendsTotal;
    m_events.phaseProgress(m_phase, total, total);

    switch (m_phase) {
    case UpdatePhase::Connecting:
        m_events.logLine("Connected");
        if (verifyOnly()) {
            sendRequest(UpdatePhase::Verifying);
        } else if (m_skipCurrent) {
            m_checkingCurrent = true;
            sendRequest(UpdatePhase::Verifying);
        } else {
            m_clock.pause(kPauseAfterQueryMs);
            sendRequest(UpdatePhase::Erasing);
        }
        break;
    case UpdatePhase::Erasing:
        m_events.logLine("Flash erased");
        m_clock.pause(kPauseAfterEraseMs);
        m_events.logLine("Programming flash...");
        m_events.progressShown(true);
        sendRequest(UpdatePhase::Programming);
        break;
    case UpdatePhase::Programming:
        m_events.progressMoved(100, 100);
        m_events.logLine("Programming complete");
        m_clock.pause(kPauseAfterProgramMs);
        sendRequest(UpdatePhase::Verifying);
        break;
    case UpdatePhase::Verifying:
    {
        // A short answer carries no CRC and can never count as a match.
        const bool match = data.size() >= 2 && !m_range.empty() &&
                           static_cast<std::uint16_t>(data[0] | data[1] << 8) == m_range.crc;
        if (m_checkingCurrent) {
            onCurrentChecked(match);
        } else {
            onVerified(match);
        }
        break;
    }
    case UpdatePhase::Idle:
    case UpdatePhase::Starting:
        break;
    }
}

void UpdateSequence::onVerified(bool match) {
    m_phase = UpdatePhase::Idle;
    m_clock.stopTicks();
    if (match) m_events.logLine("Verification successful");
    const UpdateOutcome outcome = !match        ? UpdateOutcome::VerificationFailed
                                  : verifyOnly() ? UpdateOutcome::Verified
                                                 : UpdateOutcome::Updated;
    if (outcome == UpdateOutcome::Updated) {
        if (m_mode == UpdateMode::UpdateAndStart) {
            m_clock.pause(kPauseAroundStartAppMs);
            sendRequest(UpdatePhase::Starting);
            m_clock.pause(kPauseAroundStartAppMs);
            m_events.phaseProgress(UpdatePhase::Starting, 1, 1);
        } else {
            m_clock.pause(kPauseBeforeCloseMs);
        }
        m_phase = UpdatePhase::Idle;
        m_link.disconnect();
        logEnding(outcome);
        m_events.progressShown(true);
        m_events.progressMoved(100, 100);
    } else {
        // A verify-only run never showed the bar.
        logEnding(outcome);
        if (!verifyOnly()) m_events.progressShown(false);
        m_clock.pause(kPauseBeforeCloseMs);
        m_link.disconnect();
    }
    m_events.running(false);
    m_events.ended(outcome);
}

void UpdateSequence::onCurrentChecked(bool match) {
    m_checkingCurrent = false;
    if (!match) {
        m_events.logLine("The board does not hold this file");
        m_clock.pause(kPauseAfterQueryMs);
        sendRequest(UpdatePhase::Erasing);
        return;
    }
    m_phase = UpdatePhase::Idle;
    m_clock.stopTicks();
    m_events.logLine("The board already holds this file: nothing was written");
    m_clock.pause(kPauseBeforeCloseMs);
    m_link.disconnect();
    m_events.running(false);
    m_events.ended(UpdateOutcome::Current);
}

void UpdateSequence::onTimeout() {
    stopUpdate();
    logEnding(UpdateOutcome::NoResponse);
    m_events.ended(UpdateOutcome::NoResponse);
}

void UpdateSequence::interrupt() {
    // Only a run cut short mid-way leaves a board to update again.
    const bool midway = running() && !verifyOnly();
    stopUpdate();
    logEnding(UpdateOutcome::Interrupted, midway);
    m_events.ended(UpdateOutcome::Interrupted);
}

void UpdateSequence::onTick() {
    if (!running()) return;

    const UpdateLink::Progress p = m_link.progress();
    std::int32_t range = 0;
    std::int32_t position = 0;
    if (p.command == CMD_PROGRAM) {
        range = static_cast<std::int32_t>(p.linesTotal);
        position = static_cast<std::int32_t>(p.linesConsumed);
    } else {
        range = p.sendsTotal;
        position = range - p.sendsLeft;
    }
    // Only programming moves the bar; the other phases are short.
    if (m_phase == UpdatePhase::Programming) m_events.progressMoved(position, range);
    m_events.phaseProgress(phaseOf(p.command), position, range);

    // Stalled ticks in a row: a slow or lossy board that still moves is not stalled.
    if (m_lastPos != -1 && m_lastRange != -1 && m_lastPos == position && m_lastRange == range) {
        if (m_stallTicks < kStallLimitTicks) {
            ++m_stallTicks;
        } else {
            stopUpdate();
            logEnding(UpdateOutcome::Stalled);
            m_events.ended(UpdateOutcome::Stalled);
            return;
        }
    } else {
        m_stallTicks = 0;
    }
    m_lastPos = position;
    m_lastRange = range;
}

void UpdateSequence::logEnding(UpdateOutcome outcome, bool boardTouched) {
    for (std::string_view line : outcomeFacts(outcome).lines(verifyOnly(), boardTouched)) {
        m_events.logLine(std::string(line));
    }
}

} // namespace tarvane
