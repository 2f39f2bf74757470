#include "cli/PlainOutput.h"

#include <algorithm>
#include <ostream>

namespace tarvane {

PlainOutput::PlainOutput(std::ostream& out, std::ostream& err, bool drawBar) : out_(out), err_(err), drawBar_(drawBar) {}

void PlainOutput::logLine(const std::string& line) {
    clear();
    out_ << line << '\n' << std::flush;
    draw();
}

void PlainOutput::message(const MessageBoxRequest& request) {
    clear();
    out_ << std::flush;
    err_ << "error: " << request.text << '\n';
    if (!request.detail.empty()) err_ << request.detail << '\n';
    err_ << std::flush;
}

void PlainOutput::progressBar(bool visible, int maximum, int position) {
    visible_ = visible;
    maximum_ = std::max(maximum, 0);
    position_ = position;
    if (visible_) {
        draw();
    } else {
        clear();
    }
}

void PlainOutput::waiting(std::int64_t waitedMs, std::int64_t limitMs) {
    // Said once: a script's log stays readable, a person sees why nothing happens.
    (void)waitedMs;
    if (waitShown_) return;
    waitShown_ = true;
    err_ << "Waiting up to " << (limitMs + 999) / 1000 << " s for a bootloader to appear..." << std::endl;
}

void PlainOutput::finished() {
    clear();
}

void PlainOutput::draw() {
    if (!drawBar_ || !visible_) return;
    constexpr int kWidth = 40;
    const double fraction = maximum_ > 0 ? std::clamp(static_cast<double>(position_) / maximum_, 0.0, 1.0) : 0.0;
    const int filled = static_cast<int>(fraction * kWidth);
    err_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << static_cast<int>(fraction * 100)
         << "%" << std::flush;
    drawn_ = true;
}

void PlainOutput::clear() {
    if (!drawn_) return;
    err_ << "\r\033[K" << std::flush;
    drawn_ = false;
}

} // namespace tarvane
