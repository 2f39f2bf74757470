#pragma once

#include "app/DialogView.h"
#include "app/EventLoop.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace tarvane {

class DialogMain;

// Shows DialogMain in a terminal: every log line on `out` as the window
// would show it, message boxes on `err` as "error: TEXT", a progress bar on
// `err` when it is a terminal. The chosen file is the file dialog's answer.
class TerminalView : public DialogView {
public:
    TerminalView(EventLoop& loop, std::ostream& out, std::ostream& err, bool progressBar);

    void attach(DialogMain& dialog) { dialog_ = &dialog; }
    void setFileAnswer(std::string path) { fileAnswer_ = std::move(path); }
    std::optional<UpdateOutcome> outcome() const { return outcome_; }

    bool hasControl(int id) const override;
    void setControlText(int, const std::string&) override {}
    void enableControl(int, bool) override {}
    void showControl(int id, bool visible) override;
    void setPicture(int, int) override {}
    void setLogText(const std::string& text) override;
    void setProgressRange(int maximum) override;
    void setProgressPosition(int position) override;
    void messageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> openFileDialog(const std::string& filter, const std::string& initialDirectory) override;
    void showNotes() override {}
    void startTimer(int id, int periodMs) override;
    void killTimer(int id) override;
    void pause(int ms) override;
    void postLinkMessage(LinkMessage message) override;
    void updateEnded(UpdateOutcome outcome) override;

private:
    void drawProgress();
    void clearProgress();

    EventLoop& loop_;
    std::ostream& out_;
    std::ostream& err_;
    bool progressBar_;
    DialogMain* dialog_ = nullptr;
    std::string fileAnswer_;
    std::optional<UpdateOutcome> outcome_;
    std::size_t printed_ = 0;
    std::string shownLog_;
    bool progressVisible_ = false;
    bool progressDrawn_ = false;
    int progressMax_ = 100;
    int progressPos_ = 0;
};

} // namespace tarvane
