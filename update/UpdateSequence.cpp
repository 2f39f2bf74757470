#include "app/DialogMain.h"

#include "firmware/HexCheck.h"
#include "res/resource.h"

namespace tarvane {

void DialogMain::onUpdate() {
    HexCheckResult check;
    if (!m_hexPath.empty()) check = checkHexFile(m_hexPath);
    // A file that fails its check never reaches the board.
    if (m_hexPath.empty() || !check.ok || !m_link.reader.open(m_hexPath)) {
        const std::string reason = m_hexPath.empty() ? "No HEX file is chosen."
                                   : check.ok        ? "The file cannot be opened."
                                                     : check.describe();
        appendLog("");
        appendLog(">> Cannot load the HEX file.");
        appendLog(">> " + reason);
        MessageBoxRequest box;
        box.text = "Cannot load the HEX file.";
        box.caption = m_programName;
        box.ownedByWindow = true;
        box.detail = reason;
        view_.messageBox(box);
        finish(UpdateOutcome::FileNotLoaded);
        return;
    }

    m_showProgress = false;
    view_.showControl(IDC_PROGRESS, false);
    m_logText.clear();
    showLog();
    appendLog("Update started");

    m_updating = true;
    for (int id : {IDC_DISPLAY_BOARD, IDC_INTERFACE_BOARD, IDC_NOTES, IDC_BROWSE, IDC_UPDATE}) {
        view_.enableControl(id, false);
    }
    toggleConnection();
}

void DialogMain::toggleConnection() {
    if (m_connected) {
        m_connected = false;
        m_link.stopWorker();
        m_link.device.close();
        return;
    }

    m_link.device.close();
    if (!m_link.device.find(m_vendorId, m_productId)) {
        MessageBoxRequest box;
        box.text = "Device not found";
        box.icon = MessageIcon::Error;
        box.detail = m_link.device.lastDetail();
        view_.messageBox(box);
        stopUpdate();
        finish(UpdateOutcome::DeviceNotFound);
        return;
    }

    m_link.stopWorker();
    m_link.setNotifier([this](LinkMessage message) { view_.postLinkMessage(std::move(message)); });
    m_link.startWorker();

    m_stallTicks = 0;
    m_lastPos = -1;
    m_lastRange = -1;
    view_.startTimer(TIMER_PROGRESS, kTimerPeriodMs);

    appendLog("Connecting...");
    sendRequest(CMD_QUERY, 30, 200);
}

void DialogMain::sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs) {
    const bool built = m_link.buildRequest(command, sends, timeoutMs);
    m_pending = built && command != CMD_START_APP ? command : 0;
    if (built) {
        const std::int64_t total = command == CMD_PROGRAM ? m_link.reader.linesTotal() : m_link.sendsTotal.load();
        view_.linkProgress(command, 0, total);
    }
}

void DialogMain::reportAnswered(std::uint8_t command) {
    const std::int64_t total = command == CMD_PROGRAM ? m_link.reader.linesTotal() : m_link.sendsTotal.load();
    view_.linkProgress(command, total, total);
}

void DialogMain::stopUpdate() {
    m_updating = false;
    m_pending = 0;
    view_.killTimer(TIMER_PROGRESS);
    m_link.stopWorker();
    m_link.device.close();
    m_connected = false;

    enableStepTexts();
    for (int id : {IDC_DISPLAY_BOARD, IDC_INTERFACE_BOARD, IDC_NOTES, IDC_BROWSE}) view_.enableControl(id, true);
    view_.enableControl(IDC_UPDATE, !m_hexPath.empty());

    m_showProgress = false;
    view_.showControl(IDC_PROGRESS, false);
}

void DialogMain::onLinkMessage(const LinkMessage& message) {
    // What a stopped or earlier connection posted last is stale: acting on it
    // could leave m_connected set with no worker behind it.
    if (!m_link.workerRunning() || message.connection != m_link.connection()) return;
    if (message.kind == LinkMessage::Kind::Response) {
        onLinkResponse(message.command, message.data);
    } else {
        onLinkTimeout(message.command);
    }
}

int DialogMain::onLinkResponse(std::uint8_t command, const std::vector<std::uint8_t>& data) {
    // Only the answer to the request now pending moves the sequence on, so no
    // phase can run twice.
    if (command != m_pending) return 1;
    m_pending = 0;
    reportAnswered(command);

    switch (command) {
    case CMD_QUERY:
        m_connected = true;
        appendLog("Connected");
        if (m_updating) {
            view_.pause(1000);
            sendRequest(CMD_ERASE, 3, 1000);
        }
        break;
    case CMD_ERASE:
        appendLog("Flash erased");
        if (m_updating) {
            view_.pause(1000);
            appendLog("Programming flash...");
            m_showProgress = true;
            view_.showControl(IDC_PROGRESS, true);
            sendRequest(CMD_PROGRAM, 3, 1000);
        }
        break;
    case CMD_PROGRAM:
        m_showProgress = false;
        view_.setProgressRange(100);
        view_.setProgressPosition(100);
        appendLog("Programming complete");
        view_.pause(1000);
        if (m_updating) sendRequest(CMD_VERIFY, 3, 1000);
        break;
    case CMD_VERIFY: {
        m_updating = false;
        view_.killTimer(TIMER_PROGRESS);
        const VerifyRange expected = loadImage(m_link.reader, m_link.image);
        // A short answer carries no CRC and can never count as a match.
        const bool match = data.size() >= 2 && !expected.empty() &&
                           static_cast<std::uint16_t>(data[0] | data[1] << 8) == expected.crc;
        if (match) {
            appendLog("Verification successful");
            if (m_board == BoardKind::Display) {
                view_.pause(1000);
                sendRequest(CMD_START_APP, 3, 1000);
                view_.pause(1000);
                view_.linkProgress(CMD_START_APP, 1, 1);
            } else {
                view_.pause(100);
            }
            toggleConnection();
            appendLog("=== UPGRADE COMPLETE ===");
            appendLog("a) Remove the USB-C CHARGER and micro\u2013B USB cables");
            appendLog("b) Slide the switch S4 to OFF and then to ON");
            appendLog("c) Push the POWER button to power up the Tarvane");
            view_.showControl(IDC_PROGRESS, true);
            view_.setProgressRange(100);
            view_.setProgressPosition(100);
        } else {
            appendLog("");
            appendLog(">> Verification failed!");
            appendLog("a) Remove the USB-C CHARGER cable");
            appendLog("b) Repeat STEP 4 above");
            m_showProgress = false;
            view_.showControl(IDC_PROGRESS, false);
            view_.pause(100);
            toggleConnection();
        }
        enableControls(true);
        finish(match ? UpdateOutcome::Updated : UpdateOutcome::VerificationFailed);
        break;
    }
    default:
        break;
    }
    return 1;
}

int DialogMain::onLinkTimeout(std::uint8_t) {
    stopUpdate();
    appendLog("");
    appendLog(">> No Response from the device!");
    appendLog("a) Verify that the micro\u2013B USB cable is plugged in correctly");
    appendLog("b) Remove the USB-C CHARGER cable");
    appendLog("c) Repeat STEP 4 above");
    finish(UpdateOutcome::NoResponse);
    return 1;
}

void DialogMain::onTimer(int id) {
    if (id != TIMER_PROGRESS || !m_updating) return;

    std::int32_t range = 0;
    std::int32_t position = 0;
    if (m_link.currentCommand.load() == CMD_PROGRAM) {
        range = static_cast<std::int32_t>(m_link.reader.linesTotal());
        position = static_cast<std::int32_t>(m_link.reader.linesConsumed());
    } else {
        range = m_link.sendsTotal.load();
        position = range - m_link.sendsLeft.load();
    }
    if (m_showProgress) {
        view_.setProgressRange(range);
        view_.setProgressPosition(position);
    }
    view_.linkProgress(m_link.currentCommand.load(), position, range);

    // Counted over the whole connection, not only consecutive ticks.
    if (m_lastPos != -1 && m_lastRange != -1 && m_lastPos == position && m_lastRange == range) {
        if (m_stallTicks < kStallLimitTicks) {
            ++m_stallTicks;
        } else {
            stopUpdate();
            appendLog("");
            appendLog(">> Timeout detected!");
            appendLog(">> The device may not be in bootloader mode");
            appendLog("a) Remove the USB-C CHARGER cable");
            appendLog("b) Repeat STEP 4 above");
            finish(UpdateOutcome::Stalled);
            return;
        }
    }
    m_lastPos = position;
    m_lastRange = range;
}

} // namespace tarvane
