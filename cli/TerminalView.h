#pragma once

#include "app/DialogView.h"
#include "app/EventLoop.h"
#include "cli/TerminalOutput.h"

#include <optional>
#include <string>

namespace tarvane {

class DialogMain;

// Shows DialogMain in a terminal: every line the window's log gains goes to
// the output as it appears, message boxes and progress too. The chosen file
// is the file dialog's answer.
class TerminalView : public DialogView {
public:
    TerminalView(EventLoop& loop, TerminalOutput& output);

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
    void linkProgress(std::uint8_t command, std::int64_t done, std::int64_t total) override;
    void updateEnded(UpdateOutcome outcome) override;

private:
    EventLoop& loop_;
    TerminalOutput& output_;
    DialogMain* dialog_ = nullptr;
    std::string fileAnswer_;
    std::optional<UpdateOutcome> outcome_;
    std::string shownLog_;
    std::size_t printed_ = 0;
    bool barVisible_ = false;
    int barMaximum_ = 100;
    int barPosition_ = 0;
};

} // namespace tarvane
