#include "app/DialogMain.h"

#include "app/BoardTexts.h"
#include "app/DialogTemplates.h"
#include "firmware/Utf8Path.h"
#include "res/resource.h"

#include <filesystem>

namespace tarvane {

DialogMain::DialogMain(DialogView& view) : view_(view), update_(view, *this) {}

void DialogMain::showLog() {
    view_.setLogText(m_logText);
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
        if (view_.hasControl(id)) view_.enableControl(id, true);
    }
}

void DialogMain::enableControls(bool on) {
    for (int id : {IDC_DISPLAY_BOARD, IDC_INTERFACE_BOARD, IDC_NOTES, IDC_BROWSE}) view_.enableControl(id, on);
    view_.enableControl(IDC_UPDATE, on && !m_hexPath.empty());
}

void DialogMain::resetFileChoice() {
    enableStepTexts();
    m_hexPath.clear();
    view_.setControlText(IDC_FILE_NAME, std::string(kNoFileLoaded));
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
    view_.setControlText(IDC_STEP3, std::string(texts->step3));
    view_.setControlText(IDC_STEP4, std::string(texts->step4));
    view_.setControlText(IDC_STEP5, std::string(texts->step5));
    view_.setPicture(IDC_BOARD_PICTURE, texts->boardBitmap);
    view_.setPicture(IDC_DEVICE_PICTURE, IDB_DEVICE_ACCESS);
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
    const std::optional<std::string> chosen = view_.openFileDialog(fileFilter(), ec ? std::string() : utf8FromPath(current));
    if (chosen && !chosen->empty()) {
        m_hexPath = *chosen;
        view_.setControlText(IDC_FILE_NAME, utf8FromPath(pathFromUtf8(*chosen).filename()));
        appendLog("HEX file selected");
    }
    enableControls(true);
}

void DialogMain::onNotes() {
    view_.showNotes();
}

void DialogMain::onUpdate() {
    update_.start(m_hexPath, m_board == BoardKind::Display);
}

} // namespace tarvane
