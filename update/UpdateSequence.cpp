#include "update/UpdateSequence.h"

#include "res/resource.h"

namespace tarvane {

UpdateSequence::UpdateSequence(UpdateScreen& screen, UpdateWindow& window) : screen_(screen), window_(window) {}

const HexCheckResult& UpdateSequence::checkFile(const std::string& path) {
    if (!checked_ || checked_->first != path) checked_.emplace(path, checkHexFile(path));
    return checked_->second;
}

void UpdateSequence::start(const std::string& path, bool startApplication) {
    if (path.empty()) {
        fileNotLoaded("No HEX file is chosen.", false);
        return;
    }
    // The check ahead of this update counts once; the next Update checks again.
    const HexCheckResult check = checkFile(path);
    checked_.reset();
    // A file that fails its check never reaches the board; the log names the
    // faulty line, which only the check can tell.
    if (!check.ok) {
        fileNotLoaded(check.describe(), !check.unreadable);
        return;
    }
    if (!m_link.openFile(path)) {
        fileNotLoaded("cannot open " + path, false);
        return;
    }
    HexFileReader reader;
    range_ = reader.open(path) ? loadImage(reader, image_) : VerifyRange{};
    dataBytes_ = check.dataBytes;
    startApplication_ = startApplication;

    m_showProgress = false;
    screen_.showControl(IDC_PROGRESS, false);
    window_.clearLog();
    window_.appendLog(verifyOnly_ ? "Verifying the board against the file (no erase)" : "Update started");

    m_updating = true;
    window_.enableControls(false);
    toggleConnection();
}

void UpdateSequence::fileNotLoaded(const std::string& reason, bool logReason) {
    window_.appendLog("");
    window_.appendLog(">> Cannot load the HEX file.");
    if (logReason) window_.appendLog(">> " + reason);
    MessageBoxRequest box;
    box.text = "Cannot load the HEX file.";
    box.caption = boxCaption_;
    box.ownedByWindow = true;
    box.detail = reason;
    screen_.messageBox(box);
    finish(UpdateOutcome::FileNotLoaded);
}

void UpdateSequence::disconnect() {
    m_link.stopWorker();
    m_link.closeDevice();
}

void UpdateSequence::toggleConnection() {
    if (m_connected) {
        m_connected = false;
        disconnect();
        return;
    }

    m_link.closeDevice();
    if (!m_link.findDevice(m_vendorId, m_productId)) {
        MessageBoxRequest box;
        box.text = "Device not found";
        box.icon = MessageIcon::Error;
        box.detail = m_link.deviceDetail();
        screen_.messageBox(box);
        stopUpdate();
        finish(UpdateOutcome::DeviceNotFound);
        return;
    }

    m_link.stopWorker();
    m_link.setNotifier([this](LinkMessage message) { screen_.postLinkMessage(std::move(message)); });
    m_link.startWorker();

    m_stallTicks = 0;
    m_lastPos = -1;
    m_lastRange = -1;
    screen_.startTimer(TIMER_PROGRESS, kTimerPeriodMs);

    window_.appendLog("Connecting...");
    sendRequest(CMD_QUERY, 30, 200);
}

void UpdateSequence::sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs) {
    const bool built = command == CMD_VERIFY ? m_link.sendVerifyRequest(range_, sends, timeoutMs)
                                             : m_link.sendRequest(command, sends, timeoutMs);
    m_pending = built && command != CMD_START_APP ? command : 0;
    if (built) {
        const BootloaderLink::Progress p = m_link.progress();
        screen_.linkProgress(command, 0, command == CMD_PROGRAM ? p.linesTotal : p.sendsTotal);
    }
}

void UpdateSequence::reportAnswered(std::uint8_t command) {
    const BootloaderLink::Progress p = m_link.progress();
    const std::int64_t total = command == CMD_PROGRAM ? p.linesTotal : p.sendsTotal;
    screen_.linkProgress(command, total, total);
}

void UpdateSequence::stopUpdate() {
    m_updating = false;
    m_pending = 0;
    screen_.killTimer(TIMER_PROGRESS);
    disconnect();
    m_connected = false;

    window_.enableStepTexts();
    window_.enableControls(true);

    m_showProgress = false;
    screen_.showControl(IDC_PROGRESS, false);
}

void UpdateSequence::onLinkMessage(const LinkMessage& message) {
    // What a stopped or earlier connection posted last is stale: acting on it
    // could leave m_connected set with no worker behind it.
    if (!m_link.workerRunning() || message.connection != m_link.connection()) return;
    if (message.kind == LinkMessage::Kind::Response) {
        onLinkResponse(message.command, message.data);
    } else {
        onLinkTimeout(message.command);
    }
}

int UpdateSequence::onLinkResponse(std::uint8_t command, const std::vector<std::uint8_t>& data) {
    // Only the answer to the request now pending moves the sequence on, so no
    // phase can run twice.
    if (command != m_pending) return 1;
    m_pending = 0;
    reportAnswered(command);

    switch (command) {
    case CMD_QUERY:
        m_connected = true;
        window_.appendLog("Connected");
        if (m_updating && verifyOnly_) {
            sendRequest(CMD_VERIFY, 3, 1000);
        } else if (m_updating) {
            screen_.pause(1000);
            sendRequest(CMD_ERASE, 3, 1000);
        }
        break;
    case CMD_ERASE:
        window_.appendLog("Flash erased");
        if (m_updating) {
            screen_.pause(1000);
            window_.appendLog("Programming flash...");
            m_showProgress = true;
            screen_.showControl(IDC_PROGRESS, true);
            sendRequest(CMD_PROGRAM, 3, 1000);
        }
        break;
    case CMD_PROGRAM:
        m_showProgress = false;
        screen_.setProgressRange(100);
        screen_.setProgressPosition(100);
        window_.appendLog("Programming complete");
        screen_.pause(1000);
        if (m_updating) sendRequest(CMD_VERIFY, 3, 1000);
        break;
    case CMD_VERIFY: {
        m_updating = false;
        screen_.killTimer(TIMER_PROGRESS);
        // A short answer carries no CRC and can never count as a match.
        const bool match = data.size() >= 2 && !range_.empty() &&
                           static_cast<std::uint16_t>(data[0] | data[1] << 8) == range_.crc;
        if (verifyOnly_) {
            finishVerifyOnly(match);
            break;
        }
        if (match) {
            window_.appendLog("Verification successful");
            if (startApplication_) {
                screen_.pause(1000);
                sendRequest(CMD_START_APP, 3, 1000);
                screen_.pause(1000);
                screen_.linkProgress(CMD_START_APP, 1, 1);
            } else {
                screen_.pause(100);
            }
            toggleConnection();
            window_.appendLog("=== UPGRADE COMPLETE ===");
            window_.appendLog("a) Remove the USB-C CHARGER and micro\u2013B USB cables");
            window_.appendLog("b) Slide the switch S4 to OFF and then to ON");
            window_.appendLog("c) Push the POWER button to power up the Tarvane");
            screen_.showControl(IDC_PROGRESS, true);
            screen_.setProgressRange(100);
            screen_.setProgressPosition(100);
        } else {
            window_.appendLog("");
            window_.appendLog(">> Verification failed!");
            window_.appendLog("a) Remove the USB-C CHARGER cable");
            window_.appendLog("b) Repeat STEP 4 above");
            m_showProgress = false;
            screen_.showControl(IDC_PROGRESS, false);
            screen_.pause(100);
            toggleConnection();
        }
        window_.enableControls(true);
        finish(match ? UpdateOutcome::Updated : UpdateOutcome::VerificationFailed);
        break;
    }
    default:
        break;
    }
    return 1;
}

int UpdateSequence::onLinkTimeout(std::uint8_t) {
    stopUpdate();
    window_.appendLog("");
    window_.appendLog(">> No Response from the device!");
    window_.appendLog("a) Verify that the micro\u2013B USB cable is plugged in correctly");
    window_.appendLog("b) Remove the USB-C CHARGER cable");
    window_.appendLog("c) Repeat STEP 4 above");
    finish(UpdateOutcome::NoResponse);
    return 1;
}

void UpdateSequence::finishVerifyOnly(bool match) {
    if (match) {
        window_.appendLog("Verification successful");
    } else {
        window_.appendLog("");
        window_.appendLog(">> Verification failed!");
        window_.appendLog(">> The board does not hold this file");
    }
    screen_.pause(100);
    toggleConnection();
    window_.enableControls(true);
    finish(match ? UpdateOutcome::Verified : UpdateOutcome::VerificationFailed);
}

void UpdateSequence::interrupt() {
    // Only a run cut short mid-way leaves a board to update again.
    const bool midway = m_updating && !verifyOnly_;
    stopUpdate();
    window_.appendLog("");
    window_.appendLog(verifyOnly_ ? ">> Verification interrupted" : ">> Update interrupted");
    if (midway) {
        window_.appendLog("a) Remove the USB-C CHARGER cable");
        window_.appendLog("b) Repeat STEP 4 above");
    }
    finish(UpdateOutcome::Interrupted);
}

void UpdateSequence::onTimer(int id) {
    if (id != TIMER_PROGRESS || !m_updating) return;

    const BootloaderLink::Progress p = m_link.progress();
    std::int32_t range = 0;
    std::int32_t position = 0;
    if (p.command == CMD_PROGRAM) {
        range = static_cast<std::int32_t>(p.linesTotal);
        position = static_cast<std::int32_t>(p.linesConsumed);
    } else {
        range = p.sendsTotal;
        position = range - p.sendsLeft;
    }
    if (m_showProgress) {
        screen_.setProgressRange(range);
        screen_.setProgressPosition(position);
    }
    screen_.linkProgress(p.command, position, range);

    // Counted over the whole connection, not only consecutive ticks.
    if (m_lastPos != -1 && m_lastRange != -1 && m_lastPos == position && m_lastRange == range) {
        if (m_stallTicks < kStallLimitTicks) {
            ++m_stallTicks;
        } else {
            stopUpdate();
            window_.appendLog("");
            window_.appendLog(">> Timeout detected!");
            window_.appendLog(">> The device may not be in bootloader mode");
            window_.appendLog("a) Remove the USB-C CHARGER cable");
            window_.appendLog("b) Repeat STEP 4 above");
            finish(UpdateOutcome::Stalled);
            return;
        }
    }
    m_lastPos = position;
    m_lastRange = range;
}

void UpdateSequence::finish(UpdateOutcome outcome) {
    screen_.updateEnded(outcome);
}

} // namespace tarvane
