#include "cli/TerminalView.h"

#include "app/DialogMain.h"
#include "app/DialogTemplates.h"
#include "res/resource.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <thread>

namespace tarvane {

TerminalView::TerminalView(EventLoop& loop, std::ostream& out, std::ostream& err, bool progressBar)
    : loop_(loop), out_(out), err_(err), progressBar_(progressBar) {}

bool TerminalView::hasControl(int id) const {
    const auto& controls = mainDialogTemplate().controls;
    return std::any_of(controls.begin(), controls.end(), [id](const ControlTemplate& c) { return c.id == id; });
}

// Prints what was appended since the last call; an emptied or replaced log
// prints nothing, as a terminal cannot take lines back.
void TerminalView::setLogText(const std::string& text) {
    if (text.size() < shownLog_.size() || text.compare(0, shownLog_.size(), shownLog_) != 0) printed_ = 0;
    if (text.size() < printed_) printed_ = text.size();
    shownLog_ = text;
    if (printed_ == 0 && text.empty()) return;

    std::string fresh = text.substr(printed_);
    printed_ = text.size();
    if (fresh.empty()) return;
    clearProgress();
    std::string lines;
    lines.reserve(fresh.size());
    for (char c : fresh) {
        if (c != '\r') lines += c;
    }
    out_ << lines << std::flush;
    drawProgress();
}

void TerminalView::showControl(int id, bool visible) {
    if (id != IDC_PROGRESS) return;
    progressVisible_ = visible;
    if (visible) {
        drawProgress();
    } else {
        clearProgress();
    }
}

void TerminalView::setProgressRange(int maximum) {
    progressMax_ = std::max(maximum, 0);
    drawProgress();
}

void TerminalView::setProgressPosition(int position) {
    progressPos_ = position;
    drawProgress();
}

void TerminalView::drawProgress() {
    if (!progressBar_ || !progressVisible_) return;
    constexpr int kWidth = 40;
    const double fraction =
        progressMax_ > 0 ? std::clamp(static_cast<double>(progressPos_) / progressMax_, 0.0, 1.0) : 0.0;
    const int filled = static_cast<int>(fraction * kWidth);
    err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << static_cast<int>(fraction * 100)
         << "%" << std::flush;
    progressDrawn_ = true;
}

void TerminalView::clearProgress() {
    if (!progressDrawn_) return;
    err_ << "\r\033[K" << std::flush;
    progressDrawn_ = false;
}

void TerminalView::messageBox(const MessageBoxRequest& request) {
    clearProgress();
    out_ << std::flush;
    err_ << "error: " << request.text << '\n';
    if (!request.detail.empty()) err_ << request.detail << '\n';
    err_ << std::flush;
}

std::optional<std::string> TerminalView::openFileDialog(const std::string&, const std::string&) {
    if (fileAnswer_.empty()) return std::nullopt;
    // The window's dialog answers with a full path; so does the terminal.
    std::error_code ec;
    const std::filesystem::path path(std::u8string(fileAnswer_.begin(), fileAnswer_.end()));
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec) return fileAnswer_;
    const std::u8string u8 = full.u8string();
    return std::string(u8.begin(), u8.end());
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

void TerminalView::updateEnded(UpdateOutcome outcome) {
    clearProgress();
    outcome_ = outcome;
    loop_.quit();
}

} // namespace tarvane
