#include "cli/PlainOutput.h"

#include <algorithm>
#include <ostream>

namespace tarvane {

PlainOutput::PlainOutput(std::ostream& out, std::ostream& err, bool drawBar, std::string prefix, std::mutex* shared)
    : out_(out), err_(err), drawBar_(drawBar), prefix_(std::move(prefix)), shared_(shared) {}

std::unique_lock<std::mutex> PlainOutput::lock() {
    return shared_ ? std::unique_lock<std::mutex>(*shared_) : std::unique_lock<std::mutex>();
}

void PlainOutput::printLine(const std::string& line) {
    const auto held = lock();
    clear();
    // Every line that says a run failed starts with ">> ". The update may
    // hide its bar only after such lines (the window reads them either way);
    // a terminal would draw the bar again beneath them, as if still going.
    if (line.starts_with(">> ")) barEnded_ = true;
    // No trailing space after the prefix on an empty line.
    if (line.empty() && !prefix_.empty()) {
        out_ << prefix_.substr(0, prefix_.size() - 1) << '\n' << std::flush;
    } else {
        out_ << prefix_ << line << '\n' << std::flush;
    }
    draw();
}

void PlainOutput::problem(const UpdateProblem& problem) {
    const auto held = lock();
    clear();
    out_ << std::flush;
    err_ << prefix_ << "error: " << problem.text << '\n';
    if (!problem.detail.empty()) err_ << prefix_ << problem.detail << '\n';
    err_ << std::flush;
}

void PlainOutput::progressShown(bool shown) {
    const auto held = lock();
    shown_ = shown;
    showBar();
}

void PlainOutput::progressMoved(std::int32_t done, std::int32_t total) {
    const auto held = lock();
    maximum_ = std::max(total, 0);
    position_ = done;
    showBar();
}

void PlainOutput::waiting(std::int64_t waitedMs, std::int64_t limitMs) {
    // Said once: a script's log stays readable, a person sees why nothing happens.
    (void)waitedMs;
    if (waitShown_) return;
    waitShown_ = true;
    const auto held = lock();
    err_ << prefix_ << "Waiting up to " << (limitMs + 999) / 1000 << " s for a bootloader to appear..." << std::endl;
}

void PlainOutput::finish() {
    const auto held = lock();
    clear();
}

void PlainOutput::showBar() {
    if (shown_ && !barEnded_) {
        draw();
    } else {
        clear();
    }
}

void PlainOutput::draw() {
    if (!drawBar_ || !shown_ || barEnded_) return;
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
