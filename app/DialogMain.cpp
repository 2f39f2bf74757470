#include "app/DialogMain.h"

#include "app/AccessibleNames.h"
#include "app/DialogTemplates.h"
#include "firmware/Utf8Path.h"
#include "front/BoardTexts.h"
#include "report/ReportFile.h"
#include "report/SameFile.h"
#include "report/SupportReport.h"
#include "res/resource.h"
#include "res/ProgramLine.h"
#include "trace/TracingPort.h"

#include <ctime>
#include <filesystem>

namespace tarvane {

DialogMain::DialogMain(DialogView& view) : m_view(view), m_update(*this, *this, m_link) {}

void DialogMain::useDevice(DeviceAddress address, PortOpener opener) {
    m_device = address.toString();
    m_recorder = std::make_shared<TraceRecorder>(TraceHeader{programLine(), "", m_device});
    m_link.useDevice(std::move(address), tracedOpener(std::move(opener), m_recorder));
}

std::string DialogMain::programLine() const {
    return tarvane::programLine(m_boxCaption);
}

void DialogMain::showLog() {
    m_view.setLogText(m_logText);
}

void DialogMain::clearLog() {
    m_logText.clear();
    showLog();
}

void DialogMain::appendLog(const std::string& text) {
    m_logText += text;
    m_logText += "\r\n";
    showLog();
}

void DialogMain::enableStepTexts() {
    for (int id : {IDC_STEP2, IDC_STEP3, IDC_STEP4, IDC_STEP5, IDC_STEP6, IDC_FIRST_TIME, IDC_FILE_NAME, IDC_LOG}) {
        if (m_view.hasControl(id)) m_view.enableControl(id, true);
    }
}

void DialogMain::enableControls(bool on) {
    for (int id : {IDC_DISPLAY_BOARD, IDC_INTERFACE_BOARD, IDC_NOTES, IDC_BROWSE}) m_view.enableControl(id, on);
    m_view.enableControl(IDC_UPDATE, on && !m_hexPath.empty());
}

void DialogMain::resetFileChoice() {
    enableStepTexts();
    m_hexPath.clear();
    m_view.setControlText(IDC_FILE_NAME, std::string(kNoFileLoaded));
    enableControls(true);
}

void DialogMain::onInterfaceBoard() { selectBoard(BoardKind::Interface); }
void DialogMain::onDisplayBoard() { selectBoard(BoardKind::Display); }

void DialogMain::selectBoard(BoardKind board) {
    const BoardTexts* texts = boardTexts(board);
    if (!texts) return;
    clearLog();
    appendLog(std::string(texts->selectedLine));
    m_board = board;
    m_view.setControlText(IDC_STEP3, std::string(texts->step3));
    m_view.setControlText(IDC_STEP4, std::string(texts->step4));
    m_view.setControlText(IDC_STEP5, std::string(texts->step5));
    m_view.setPicture(IDC_BOARD_PICTURE, texts->boardBitmap);
    m_view.setPicture(IDC_DEVICE_PICTURE, IDB_DEVICE_ACCESS);
    resetFileChoice();
}

std::string DialogMain::fileFilter() const {
    std::string filter;
    if (const BoardTexts* texts = boardTexts(m_board)) filter = texts->filter;
    return filter + "All Files (*.*)|*.*|";
}

void DialogMain::onBrowse() {
    std::error_code ec;
    const std::filesystem::path current = std::filesystem::current_path(ec);
    const std::optional<std::string> chosen = m_view.openFileDialog(fileFilter(), ec ? std::string() : utf8FromPath(current));
    if (chosen && !chosen->empty()) {
        m_hexPath = *chosen;
        m_view.setControlText(IDC_FILE_NAME, utf8FromPath(pathFromUtf8(*chosen).filename()));
        appendLog(std::string(kFileSelectedLine));
    }
    enableControls(true);
}

void DialogMain::onNotes() {
    m_view.showNotes();
}

void DialogMain::onUpdate() {
    m_updateRan = true;
    m_update.setMode(m_board == BoardKind::Display ? UpdateMode::UpdateAndStart : UpdateMode::Update);
    m_update.start(m_hexPath);
}

void DialogMain::onTimer(int id) {
    if (id == TIMER_PROGRESS) m_update.onTick();
}

void DialogMain::running(bool on) {
    if (!on) enableStepTexts();
    enableControls(!on);
}

void DialogMain::progressShown(bool shown) {
    m_view.showControl(IDC_PROGRESS, shown);
}

void DialogMain::phaseProgress(UpdatePhase phase, std::int64_t, std::int64_t) {
    if (phase == m_namedPhase) return;
    m_namedPhase = phase;
    m_view.setProgressName(progressName(phase));
}

void DialogMain::ended(UpdateOutcome outcome) {
    m_namedPhase = UpdatePhase::Idle;
    m_view.setProgressName(outcomeName(outcome));
    m_view.updateEnded(outcome);
}

void DialogMain::progressMoved(std::int32_t done, std::int32_t total) {
    m_view.setProgressRange(total);
    m_view.setProgressPosition(done);
}

void DialogMain::problem(const UpdateProblem& problem) {
    MessageBoxRequest box;
    box.text = problem.text;
    box.detail = problem.detail;
    if (problem.kind == UpdateProblem::Kind::FileNotLoaded) {
        box.caption = m_boxCaption;
        box.ownedByWindow = true;
    } else {
        box.icon = MessageIcon::Error;
    }
    m_view.messageBox(box);
}

void DialogMain::startTicks(int periodMs) {
    m_view.startTimer(TIMER_PROGRESS, periodMs);
}

void DialogMain::stopTicks() {
    m_view.killTimer(TIMER_PROGRESS);
}

void DialogMain::onSaveReport() {
    if (!m_updateRan) return;
    const std::time_t now = std::time(nullptr);
    const std::optional<std::string> path = m_view.saveFileDialog(supportReportFileName(*std::localtime(&now)));
    if (!path || path->empty()) return;
    MessageBoxRequest box;
    box.text = "Cannot save the support report.";
    box.caption = m_boxCaption;
    box.icon = MessageIcon::Error;
    box.ownedByWindow = true;
    // Saving empties the file first: the firmware it reports would be gone.
    if (sameFile(*path, m_hexPath)) {
        box.detail = *path + ": this is the HEX file of the update; the report cannot be saved over it.";
        m_view.messageBox(box);
        return;
    }
    SupportReportFacts facts;
    facts.program = programLine();
    facts.system = m_systemName;
    if (const BoardTexts* texts = boardTexts(m_board)) facts.board = std::string(texts->name);
    facts.device = m_device;
    facts.hexPath = m_hexPath;
    facts.hexFile = m_update.file();
    facts.log = m_logText;
    if (m_recorder) facts.trace = m_recorder->text();
    const std::string error = saveReportFile(*path, supportReportText(facts));
    if (error.empty()) return;
    box.detail = *path + ": " + error;
    m_view.messageBox(box);
}

} // namespace tarvane
