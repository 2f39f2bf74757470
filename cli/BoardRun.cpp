#include "cli/BoardRun.h"

#include "front/BoardTexts.h"
#include "cli/WaitForDevice.h"
#include "firmware/Utf8Path.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace tarvane {
namespace {

constexpr int kTickTimer = 1;

// The window's file dialog answers with a full path; so does the terminal.
std::string fullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(pathFromUtf8(path), ec);
    return ec ? path : utf8FromPath(full);
}

UpdateMode modeFor(const BoardJob& job) {
    if (job.verifyOnly) return UpdateMode::VerifyOnly;
    return job.board == BoardKind::Display ? UpdateMode::UpdateAndStart : UpdateMode::Update;
}

} // namespace

BoardRun::BoardRun(BoardTarget target, std::unique_ptr<TerminalOutput> output)
    : target_(std::move(target)), output_(std::move(output)), update_(*this, *this, link_) {
    link_.useDevice(target_.address, target_.opener);
}

void BoardRun::run(const BoardJob& job, const std::atomic<bool>& stop) {
    const auto started = std::chrono::steady_clock::now();
    loop_.post([&] {
        // The lines the window's log starts with once the board and the file are chosen.
        if (const BoardTexts* texts = boardTexts(job.board)) logLine(std::string(texts->selectedLine));
        logLine(std::string(kFileSelectedLine));
        const std::string path = fullPath(job.file);
        update_.useLoadedFile(path, job.loaded);
        update_.setMode(modeFor(job));
        // A production line starts the command, then plugs the next board in;
        // the file may have changed meanwhile, and what is sent is what is read now.
        if (job.waitSeconds > 0 && job.loaded->check.ok) {
            waitForDevice(target_.address, job.waitSeconds, *output_, &stop);
            if (!stop.load()) update_.useLoadedFile(path, reloadHexFile(job.loaded));
        }
        if (stop.load()) {
            update_.interrupt();
        } else {
            update_.start(path);
        }
    });
    // Every path of the sequence ends by a response, a time-out, the stall
    // watchdog or an interruption; the loop has nothing else to wait for.
    while (!outcome_) loop_.run();
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void BoardRun::interrupt() {
    loop_.post([this] {
        if (!outcome_) update_.interrupt();
    });
}

void BoardRun::logLine(const std::string& line) {
    logText_ += line;
    logText_ += "\r\n";
    // Every line that says a run failed starts with ">> ". The sequence may
    // hide its bar only after such lines (the window reads them either way);
    // a terminal would draw the bar again beneath them, as if still going.
    if (!barEnded_ && line.starts_with(">> ")) {
        barEnded_ = true;
        output_->progressBar(false, barTotal_, barDone_);
    }
    output_->logLine(line);
}

void BoardRun::phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) {
    output_->phaseProgress(phase, done, total);
}

void BoardRun::progressShown(bool shown) {
    barShown_ = shown;
    output_->progressBar(barShown_ && !barEnded_, barTotal_, barDone_);
}

void BoardRun::progressMoved(std::int32_t done, std::int32_t total) {
    barTotal_ = total;
    barDone_ = done;
    output_->progressBar(barShown_ && !barEnded_, barTotal_, barDone_);
}

void BoardRun::ended(UpdateOutcome outcome) {
    output_->finished();
    outcome_ = outcome;
    loop_.quit();
}

void BoardRun::startTicks(int periodMs) {
    loop_.startTimer(kTickTimer, periodMs, [this] { update_.onTick(); });
}

void BoardRun::stopTicks() {
    loop_.killTimer(kTickTimer);
}

void BoardRun::pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BoardRun::post(LinkMessage message) {
    loop_.post([this, m = std::move(message)] { update_.onLinkMessage(m); });
}

} // namespace tarvane
