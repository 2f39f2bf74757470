#pragma once

#include "app/BoardKind.h"
#include "app/DialogView.h"
#include "link/BootloaderLink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvane {

// The updater window's logic, free of any platform: board and file choice,
// the log, the enabling of controls, and the update sequence with its
// progress bar and stall watchdog. It reaches the screen only through
// DialogView; every handler runs on the UI thread.
class DialogMain {
public:
    static constexpr int kTimerPeriodMs = 500;
    static constexpr int kStallLimitTicks = 14;

    explicit DialogMain(DialogView& view);
    ~DialogMain();
    DialogMain(const DialogMain&) = delete;
    DialogMain& operator=(const DialogMain&) = delete;

    // Board and file choice.
    void onInterfaceBoard();
    void onDisplayBoard();
    void onBrowse();
    void onNotes();
    void resetFileChoice();
    // "Name|pattern|..." for the file dialog, the chosen board's entry first.
    std::string fileFilter() const;

    // Log and enabling helpers.
    void appendLog(const std::string& text);
    void enableControls(bool on);
    void enableStepTexts();

    // The update sequence.
    void onUpdate();
    void toggleConnection();
    void stopUpdate();
    int onLinkResponse(std::uint8_t command, const std::vector<std::uint8_t>& data);
    int onLinkTimeout(std::uint8_t command);
    void onTimer(int id);
    // Entry for what the link's worker posted, once it is on the UI thread.
    void onLinkMessage(const LinkMessage& message);

    std::uint16_t m_vendorId = kBootloaderVendorId;
    std::uint16_t m_productId = kBootloaderProductId;
    std::string m_logText;
    std::string m_hexPath;
    BoardKind m_board = BoardKind::None;
    BootloaderLink m_link;

    bool m_connected = false;
    bool m_updating = false;
    bool m_showProgress = false;
    std::int32_t m_stallTicks = 0;
    std::int32_t m_lastPos = 0;
    std::int32_t m_lastRange = 0;
    // The command whose answer the window waits for; 0 when none.
    std::uint8_t m_pending = 0;
    // Caption of the file-error box: the program's name without extension.
    std::string m_programName = "tarvane-updater";

private:
    void selectBoard(BoardKind board);
    void sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs);
    void reportAnswered(std::uint8_t command);
    void showLog();
    void finish(UpdateOutcome outcome);

    DialogView& view_;
};

} // namespace tarvane
