#include "link/BootloaderLink.h"

#include <chrono>

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

void BootloaderLink::startWorker() {
    if (worker_.joinable()) return;
    // Nothing an earlier connection left half done may leak into this one:
    // no stale re-send, no stale time-out, no partial frame.
    waitState.store(kIdle, std::memory_order_relaxed);
    sendsLeft.store(0, std::memory_order_relaxed);
    timedOut.store(false, std::memory_order_relaxed);
    decoder.reset();
    stopRequested.store(false, std::memory_order_relaxed);
    workerExited.store(false, std::memory_order_relaxed);
    connection_.fetch_add(1, std::memory_order_relaxed);
    worker_ = std::thread([this] { workerLoop(); });
}

void BootloaderLink::stopWorker() {
    if (!worker_.joinable()) return;
    stopRequested.store(true, std::memory_order_release);
    worker_.join();
}

void BootloaderLink::workerLoop() {
    while (!stopRequested.load(std::memory_order_acquire)) {
        poll();
        if (waitState.load(std::memory_order_relaxed) == kIdle) {
            // Acquire pairs with buildRequest's release: the frame is complete.
            const std::uint16_t left = sendsLeft.load(std::memory_order_acquire);
            if (left > 0) {
                waitState.store(kAwaiting, std::memory_order_relaxed);
                sendsLeft.store(static_cast<std::uint16_t>(left - 1), std::memory_order_relaxed);
                deadlineMs_ = nowMs() + timeoutMs.load(std::memory_order_relaxed);
                sendFrame();
            }
        } else {
            const std::uint16_t left = sendsLeft.load(std::memory_order_relaxed);
            if (left == 0) {
                timedOut.store(true, std::memory_order_relaxed);
                waitState.store(kIdle, std::memory_order_relaxed);
            } else if (nowMs() > deadlineMs_) {
                deadlineMs_ = nowMs() + timeoutMs.load(std::memory_order_relaxed);
                sendsLeft.store(static_cast<std::uint16_t>(left - 1), std::memory_order_relaxed);
                sendFrame();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    workerExited.store(true, std::memory_order_release);
}

void BootloaderLink::sendFrame() {
    device.writeFrame(txBuffer.data(), txLength);
}

void BootloaderLink::poll() {
    if (device.isOpen()) {
        std::array<std::uint8_t, kReportSize> report{};
        const std::size_t got = device.readReport(report.data());
        if (got > 0) decodeBytes(report.data(), got);
    }
    if (decoder.frameComplete) {
        dispatchResponse();
    } else if (timedOut.load(std::memory_order_relaxed)) {
        timedOut.store(false, std::memory_order_relaxed);
        const std::uint8_t command = currentCommand.load(std::memory_order_relaxed);
        // Nobody waits for the application to answer its start request.
        if (isWindowCommand(command)) notify(LinkMessage::Kind::Timeout, command);
    }
}

void BootloaderLink::dispatchResponse() {
    decoder.frameComplete = false;
    const std::uint8_t c = decoder.rxBuffer[0];
    // An answer to a request no longer pending (a board answering twice, a
    // late answer after the link gave up) must not start a phase again nor
    // cancel the re-sends of the request that is pending now.
    if (isWindowCommand(c) &&
        (waitState.load(std::memory_order_relaxed) != kAwaiting || c != currentCommand.load(std::memory_order_relaxed))) {
        return;
    }
    waitState.store(kIdle, std::memory_order_relaxed);
    sendsLeft.store(0, std::memory_order_relaxed);

    const std::size_t length = decoder.payloadLength();
    std::vector<std::uint8_t> data(decoder.rxBuffer.begin() + 1,
                                   decoder.rxBuffer.begin() + static_cast<std::ptrdiff_t>(length > 0 ? length : 1));
    switch (c) {
    case CMD_QUERY:
    case CMD_ERASE:
    case CMD_VERIFY:
        notify(LinkMessage::Kind::Response, c, std::move(data));
        break;
    case CMD_PROGRAM:
        // The next batch goes out in this same pass; only the end of the file
        // is reported to the window.
        rewindOnProgram.store(false, std::memory_order_relaxed);
        if (!buildRequest(CMD_PROGRAM, sendsTotal.load(std::memory_order_relaxed),
                          timeoutMs.load(std::memory_order_relaxed))) {
            notify(LinkMessage::Kind::Response, CMD_PROGRAM, std::move(data));
        }
        rewindOnProgram.store(true, std::memory_order_relaxed);
        break;
    default:
        // Ends the pending request without a word; the window's watchdog notices.
        break;
    }
}

void BootloaderLink::notify(LinkMessage::Kind kind, std::uint8_t command, std::vector<std::uint8_t> data) {
    if (!notifier_) return;
    LinkMessage message;
    message.kind = kind;
    message.command = command;
    message.data = std::move(data);
    message.connection = connection_.load(std::memory_order_relaxed);
    notifier_(std::move(message));
}

} // namespace tarvane
