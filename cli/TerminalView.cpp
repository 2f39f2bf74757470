#include "cli/TerminalView.h"

#include "app/DialogMain.h"
#include "app/DialogTemplates.h"
#include "firmware/Utf8Path.h"
#include "res/resource.h"

#include <algorithm>
#include <filesystem>
#include <thread>

namespace tarvane {

TerminalView::TerminalView(EventLoop& loop, TerminalOutput& output) : loop_(loop), output_(output) {}

bool TerminalView::hasControl(int id) const {
    const auto& controls = mainDialogTemplate().controls;
    return std::any_of(controls.begin(), controls.end(), [id](const ControlTemplate& c) { return c.id == id; });
}

// Reports what was appended since the last call, line by line. A log that
// was emptied or replaced starts over: its lines so far are all new.
void TerminalView::setLogText(const std::string& text) {
    if (text.size() < shownLog_.size() || text.compare(0, shownLog_.size(), shownLog_) != 0) printed_ = 0;
    shownLog_ = text;
    while (printed_ < text.size()) {
        const std::size_t end = text.find("\r\n", printed_);
        if (end == std::string::npos) break;
        output_.logLine(text.substr(printed_, end - printed_));
        printed_ = end + 2;
    }
}

void TerminalView::showControl(int id, bool visible) {
    if (id != IDC_PROGRESS) return;
    barVisible_ = visible;
    output_.progressBar(barVisible_, barMaximum_, barPosition_);
}

void TerminalView::setProgressRange(int maximum) {
    barMaximum_ = maximum;
    output_.progressBar(barVisible_, barMaximum_, barPosition_);
}

void TerminalView::setProgressPosition(int position) {
    barPosition_ = position;
    output_.progressBar(barVisible_, barMaximum_, barPosition_);
}

void TerminalView::messageBox(const MessageBoxRequest& request) {
    output_.message(request);
}

std::optional<std::string> TerminalView::openFileDialog(const std::string&, const std::string&) {
    if (fileAnswer_.empty()) return std::nullopt;
    // The window's dialog answers with a full path; so does the terminal.
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(pathFromUtf8(fileAnswer_), ec);
    if (ec) return fileAnswer_;
    return utf8FromPath(full);
}

void TerminalView::startTimer(int id, int periodMs) {
    loop_.startTimer(id, periodMs, [this, id] {
        if (dialog_) dialog_->onTimer(id);
    });
}

void TerminalView::killTimer(int id) {
    loop_.killTimer(id);
}

void TerminalView::pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TerminalView::postLinkMessage(LinkMessage message) {
    loop_.post([this, m = std::move(message)] {
        if (dialog_) dialog_->onLinkMessage(m);
    });
}

void TerminalView::linkProgress(std::uint8_t command, std::int64_t done, std::int64_t total) {
    output_.phaseProgress(command, done, total);
}

void TerminalView::updateEnded(UpdateOutcome outcome) {
    output_.finished();
    outcome_ = outcome;
    loop_.quit();
}

} // namespace tarvane
