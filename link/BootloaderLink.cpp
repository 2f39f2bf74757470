#include "link/BootloaderLink.h"

#include "link/AnswerRule.h"
#include "link/WorkerPacing.h"

#include <chrono>
#include <memory>

namespace tarvane {
namespace {

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isWindowCommand(std::uint8_t c) { return c >= CMD_QUERY && c <= CMD_VERIFY; }

} // namespace

BootloaderLink::~BootloaderLink() {
    stopWorker();
}

bool BootloaderLink::sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs) {
    shared_.currentCommand.store(command, std::memory_order_relaxed);
    if (command == CMD_PROGRAM) return publish(outgoing_.builder.buildProgramBatch(outgoing_.reader, true), sends, timeoutMs);
    if (command == CMD_START_APP) {
        // The application takes over at once; there is nobody left to answer.
        return publish(outgoing_.builder.buildCommand(command), 1, 10);
    }
    return publish(outgoing_.builder.buildCommand(command), sends, timeoutMs);
}

bool BootloaderLink::sendVerifyRequest(const VerifyRange& range, std::uint16_t sends, std::uint16_t timeoutMs) {
    shared_.currentCommand.store(CMD_VERIFY, std::memory_order_relaxed);
    return publish(outgoing_.builder.buildVerify(range), sends, timeoutMs);
}

bool BootloaderLink::publish(bool built, std::uint16_t sends, std::uint16_t timeoutMs) {
    if (!built) return false;
    shared_.sendsTotal.store(sends, std::memory_order_relaxed);
    shared_.timeoutMs.store(timeoutMs, std::memory_order_relaxed);
    shared_.sendsLeft.store(sends, std::memory_order_release);
    return true;
}

BootloaderLink::Progress BootloaderLink::progress() const {
    Progress p;
    p.command = shared_.currentCommand.load(std::memory_order_relaxed);
    p.sendsTotal = shared_.sendsTotal.load(std::memory_order_relaxed);
    p.sendsLeft = shared_.sendsLeft.load(std::memory_order_relaxed);
    p.linesTotal = outgoing_.reader.linesTotal();
    p.linesConsumed = outgoing_.reader.linesConsumed();
    return p;
}

void BootloaderLink::startWorker() {
    if (worker_.joinable()) return;
    // Nothing an earlier connection left half done may leak into this one:
    // no stale re-send, no stale time-out, no partial frame.
    shared_.waitState.store(kIdle, std::memory_order_relaxed);
    shared_.sendsLeft.store(0, std::memory_order_relaxed);
    shared_.timedOut.store(false, std::memory_order_relaxed);
    shared_.stopRequested.store(false, std::memory_order_relaxed);
    shared_.connection.fetch_add(1, std::memory_order_relaxed);
    workerState_.decoder.reset();
    workerState_.hold.clear();
    worker_ = std::thread([this] { workerLoop(); });
}

void BootloaderLink::stopWorker() {
    if (!worker_.joinable()) return;
    shared_.stopRequested.store(true, std::memory_order_release);
    worker_.join();
}

void BootloaderLink::workerLoop() {
    // Held for the worker's life: where sleeps are coarse it keeps a finer timer.
    const std::unique_ptr<WorkerPacing> pacing = makeWorkerPacing();
    while (!shared_.stopRequested.load(std::memory_order_acquire)) {
        const bool received = poll();
        const bool sent = sendDue();
        pacing->endPass(received || sent);
    }
}

bool BootloaderLink::sendDue() {
    if (shared_.waitState.load(std::memory_order_relaxed) == kIdle) {
        // Acquire pairs with publish's release: the frame is complete.
        const std::uint16_t left = shared_.sendsLeft.load(std::memory_order_acquire);
        if (left == 0) return false;
        const std::int64_t now = nowMs();
        if (workerState_.hold.holds(now, shared_.currentCommand.load(std::memory_order_relaxed))) return false;
        shared_.waitState.store(kAwaiting, std::memory_order_relaxed);
        shared_.sendsLeft.store(static_cast<std::uint16_t>(left - 1), std::memory_order_relaxed);
        workerState_.deadlineMs = now + shared_.timeoutMs.load(std::memory_order_relaxed);
        workerState_.hold.sent(now, true);
        sendFrame();
        return true;
    }
    const std::uint16_t left = shared_.sendsLeft.load(std::memory_order_relaxed);
    if (left == 0) {
        shared_.timedOut.store(true, std::memory_order_relaxed);
        shared_.waitState.store(kIdle, std::memory_order_relaxed);
    } else if (const std::int64_t now = nowMs(); now > workerState_.deadlineMs) {
        workerState_.deadlineMs = now + shared_.timeoutMs.load(std::memory_order_relaxed);
        shared_.sendsLeft.store(static_cast<std::uint16_t>(left - 1), std::memory_order_relaxed);
        workerState_.hold.sent(now, false);
        sendFrame();
        return true;
    }
    return false;
}

void BootloaderLink::sendFrame() {
    const auto frame = outgoing_.builder.frame();
    device_.writeFrame(frame.data(), frame.size());
}

bool BootloaderLink::poll() {
    std::size_t got = 0;
    if (device_.isOpen()) {
        std::array<std::uint8_t, kReportSize> report{};
        got = device_.readReport(report.data());
        if (got > 0) workerState_.decoder.decodeBytes(report.data(), got);
    }
    if (const auto frame = workerState_.decoder.take(); !frame.empty()) {
        dispatchResponse(frame);
    } else if (shared_.timedOut.load(std::memory_order_relaxed)) {
        shared_.timedOut.store(false, std::memory_order_relaxed);
        const std::uint8_t command = shared_.currentCommand.load(std::memory_order_relaxed);
        // Nobody waits for the application to answer its start request.
        if (isWindowCommand(command)) notify(LinkMessage::Kind::Timeout, command);
    }
    return got > 0;
}

void BootloaderLink::dispatchResponse(std::span<const std::uint8_t> frame) {
    const std::uint8_t c = frame[0];
    const std::int64_t now = nowMs();
    if (workerState_.hold.swallows(now)) return;
    const AnswerUse use = answerUse(c, shared_.waitState.load(std::memory_order_relaxed) == kAwaiting,
                                    shared_.currentCommand.load(std::memory_order_relaxed));
    if (use == AnswerUse::Ignored) return;
    shared_.waitState.store(kIdle, std::memory_order_relaxed);
    shared_.sendsLeft.store(0, std::memory_order_relaxed);
    workerState_.hold.answered(now, c);

    std::vector<std::uint8_t> data = answerData(frame);
    // Only the end of the file is reported to the window; each other program
    // answer sends the next batch in this same pass.
    if (use == AnswerUse::Posted ||
        (use == AnswerUse::NextBatch && !publish(outgoing_.builder.buildProgramBatch(outgoing_.reader, false),
                                                 shared_.sendsTotal.load(std::memory_order_relaxed),
                                                 shared_.timeoutMs.load(std::memory_order_relaxed)))) {
        notify(LinkMessage::Kind::Response, c, std::move(data));
    }
}

void BootloaderLink::notify(LinkMessage::Kind kind, std::uint8_t command, std::vector<std::uint8_t> data) {
    if (!notifier_) return;
    LinkMessage message;
    message.kind = kind;
    message.command = command;
    message.data = std::move(data);
    message.connection = shared_.connection.load(std::memory_order_relaxed);
    notifier_(std::move(message));
}

} // namespace tarvane
