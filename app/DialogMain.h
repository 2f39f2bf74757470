#pragma once

#include "app/DialogView.h"
#include "front/BoardKind.h"
#include "link/BootloaderLink.h"
#include "trace/TraceRecorder.h"
#include "update/UpdateSequence.h"

#include <memory>
#include <string>

namespace tarvane {

// The updater window's logic, free of any platform: board and file choice,
// the log and the enabling of controls. The update itself is the
// UpdateSequence it owns, whose events it turns into control ids, the log
// text, the progress bar and message boxes. It reaches the screen only
// through DialogView; every handler runs on the UI thread.
class DialogMain final : private UpdateEvents, private UpdateClock {
public:
    explicit DialogMain(DialogView& view);
    DialogMain(const DialogMain&) = delete;
    DialogMain& operator=(const DialogMain&) = delete;

    // Where the bootloader is looked for (the device address and its back-end).
    // Every report to and from it is recorded for a support report.
    void useDevice(DeviceAddress address, PortOpener opener);
    // The program's name without extension, the caption of the file-error box.
    void setProgramName(std::string name) { m_boxCaption = std::move(name); }
    // The system's one-line description, for support reports.
    void setSystemName(std::string name) { m_systemName = std::move(name); }

    // The window's buttons and timer.
    void onInterfaceBoard();
    void onDisplayBoard();
    void onBrowse();
    void onNotes();
    void onUpdate();
    void onTimer(int id);
    // Entry for what the link's worker posted, once it is on the UI thread.
    void onLinkMessage(const LinkMessage& message) { m_update.onLinkMessage(message); }
    // The window is going: the link stops and the board is let go.
    void onClose() { m_update.disconnect(); }
    // Save support report...: the program, the system, the board, the file,
    // the log and the last update's reports, in one file the user chooses;
    // never the HEX file it reports, by whatever path.
    void onSaveReport();
    // An update has run since the window opened: there is something to report.
    bool canSaveReport() const { return m_updateRan; }

    // "Name|pattern|..." for the file dialog, the chosen board's entry first.
    std::string fileFilter() const;
    BoardKind board() const { return m_board; }
    const std::string& hexPath() const { return m_hexPath; }
    bool updating() const { return m_update.running(); }

private:
    void selectBoard(BoardKind board);
    void resetFileChoice();
    void showLog();
    void appendLog(const std::string& text);
    void clearLog();
    // Board, Notes and Browse buttons, and Update while a file is chosen.
    void enableControls(bool on);
    void enableStepTexts();
    // The program's name and version, as traces and reports begin.
    std::string programLine() const;

    // UpdateEvents
    void logCleared() override { clearLog(); }
    void logLine(const std::string& line) override { appendLog(line); }
    void running(bool on) override;
    void phaseProgress(UpdatePhase phase, std::int64_t, std::int64_t) override;
    void progressShown(bool shown) override;
    void progressMoved(std::int32_t done, std::int32_t total) override;
    void problem(const UpdateProblem& problem) override;
    void ended(UpdateOutcome outcome) override;

    // UpdateClock
    void startTicks(int periodMs) override;
    void stopTicks() override;
    void pause(int ms) override { m_view.pause(ms); }
    void post(LinkMessage message) override { m_view.postLinkMessage(std::move(message)); }

    DialogView& m_view;
    std::string m_boxCaption = "tarvane-updater";
    std::string m_systemName;
    std::string m_device;
    std::shared_ptr<TraceRecorder> m_recorder;
    bool m_updateRan = false;
    std::string m_logText;
    std::string m_hexPath;
    BoardKind m_board = BoardKind::None;
    // The phase the progress bar's name gives, so it changes once per phase.
    UpdatePhase m_namedPhase = UpdatePhase::Idle;
    // The sequence goes first and stops the link, whose worker posts through it.
    BootloaderLink m_link;
    UpdateSequence m_update;
};

} // namespace tarvane
