#pragma once

#include "app/BoardKind.h"
#include "app/DialogView.h"
#include "update/UpdateSequence.h"

#include <string>

namespace tarvane {

// The updater window's logic, free of any platform: board and file choice,
// the log and the enabling of controls; the update itself is the
// UpdateSequence it owns. It reaches the screen only through DialogView;
// every handler runs on the UI thread.
class DialogMain final : private UpdateWindow {
public:
    explicit DialogMain(DialogView& view);
    DialogMain(const DialogMain&) = delete;
    DialogMain& operator=(const DialogMain&) = delete;

    // Where the bootloader is looked for (the device address and its back-end).
    void useDevice(DeviceAddress address, PortOpener opener) { update_.useDevice(std::move(address), std::move(opener)); }
    // The program's name without extension, the caption of the file-error box.
    void setProgramName(std::string name) { update_.setBoxCaption(std::move(name)); }

    // The window's buttons and timer.
    void onInterfaceBoard();
    void onDisplayBoard();
    void onBrowse();
    void onNotes();
    void onUpdate();
    void onTimer(int id) { update_.onTimer(id); }
    // Entry for what the link's worker posted, once it is on the UI thread.
    void onLinkMessage(const LinkMessage& message) { update_.onLinkMessage(message); }
    // The window is going: the link stops and the board is let go.
    void onClose() { update_.disconnect(); }
    // The terminal's Ctrl-C; the window has no such control.
    void onInterrupt() { update_.interrupt(); }
    // Update only compares the board with the file (the terminal's --verify-only).
    void setVerifyOnly(bool on) { update_.setVerifyOnly(on); }
    // A check of the chosen file made elsewhere, taken as this file's own.
    void useCheckedFile(const HexCheckResult& check) { update_.useCheckedFile(m_hexPath, check); }

    // "Name|pattern|..." for the file dialog, the chosen board's entry first.
    std::string fileFilter() const;
    BoardKind board() const { return m_board; }
    const std::string& hexPath() const { return m_hexPath; }
    bool updating() const { return update_.running(); }
    // Checks the chosen file ahead of Update (before waiting for a board);
    // the next Update takes this result instead of checking again.
    const HexCheckResult& checkChosenFile() { return update_.checkFile(m_hexPath); }
    // The update's own side, for a front end that reports on the file.
    const UpdateSequence& update() const { return update_; }

private:
    void selectBoard(BoardKind board);
    void resetFileChoice();
    void showLog();

    // UpdateWindow
    void appendLog(const std::string& text) override;
    void clearLog() override;
    void enableControls(bool on) override;
    void enableStepTexts() override;

    DialogView& view_;
    std::string m_logText;
    std::string m_hexPath;
    BoardKind m_board = BoardKind::None;
    UpdateSequence update_;
};

} // namespace tarvane
