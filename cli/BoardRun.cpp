#include "cli/BoardRun.h"

#include "app/BoardTexts.h"
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
    : m_target(std::move(target)), m_output(std::move(output)), m_update(*this, *this, m_link) {
    m_link.useDevice(m_target.address, m_target.opener);
}

void BoardRun::run(const BoardJob& job, const std::atomic<bool>& stop) {
    const auto started = std::chrono::steady_clock::now();
    m_loop.post([&] {
        // The lines the window's log starts with once the board and the file are chosen.
        if (const BoardTexts* texts = boardTexts(job.board)) logLine(std::string(texts->selectedLine));
        logLine(std::string(kFileSelectedLine));
        const std::string path = fullPath(job.file);
        m_update.useCheckedFile(path, job.check);
        m_update.setMode(modeFor(job));
        // A production line starts the command, then plugs the next board in.
        if (job.waitSeconds > 0 && job.check.ok) {
            waitForDevice(m_target.address, job.waitSeconds, *m_output, &stop);
        }
        if (stop.load()) {
            m_update.interrupt();
        } else {
            m_update.start(path);
        }
    });
    // Every path of the sequence ends by a response, a time-out, the stall
    // watchdog or an interruption; the loop has nothing else to wait for.
    while (!m_outcome) m_loop.run();
    m_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void BoardRun::interrupt() {
    m_loop.post([this] {
        if (!m_outcome) m_update.interrupt();
    });
}

void BoardRun::logLine(const std::string& line) {
    m_logText += line;
    m_logText += "\r\n";
    m_output->logLine(line);
}

void BoardRun::phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) {
    m_output->phaseProgress(phase, done, total);
}

void BoardRun::progressShown(bool shown) {
    m_barShown = shown;
    m_output->progressBar(m_barShown, m_barTotal, m_barDone);
}

void BoardRun::progressMoved(std::int32_t done, std::int32_t total) {
    m_barTotal = total;
    m_barDone = done;
    m_output->progressBar(m_barShown, m_barTotal, m_barDone);
}

void BoardRun::ended(UpdateOutcome outcome) {
    m_output->finished();
    m_outcome = outcome;
    m_loop.quit();
}

void BoardRun::startTicks(int periodMs) {
    m_loop.startTimer(kTickTimer, periodMs, [this] { m_update.onTick(); });
}

void BoardRun::stopTicks() {
    m_loop.killTimer(kTickTimer);
}

void BoardRun::pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BoardRun::post(LinkMessage message) {
    m_loop.post([this, m = std::move(message)] { m_update.onLinkMessage(m); });
}

} // namespace tarvane
