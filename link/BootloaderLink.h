#pragma once

#include "firmware/FlashImage.h"
#include "firmware/HexFileReader.h"
#include "link/FrameCodec.h"
#include "link/LinkMessage.h"
#include "link/Protocol.h"
#include "usb/HidBootDevice.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace tarvane {

// The window's connection to the bootloader. The UI thread builds requests;
// the worker thread sends them, re-sends them when no answer comes in time,
// gives up after the allowed sends, streams program batches by itself, and
// hands every result to the notifier as a LinkMessage.
class BootloaderLink {
public:
    static constexpr std::size_t kPayloadSize = 1000;
    static constexpr std::size_t kTxSize = 1000;
    static constexpr std::size_t kRxSize = 256;
    static constexpr std::size_t kRxLimit = 253;

    enum WaitState : std::uint32_t { kIdle = 0, kAwaiting = 1 };

    BootloaderLink() = default;
    ~BootloaderLink();
    BootloaderLink(const BootloaderLink&) = delete;
    BootloaderLink& operator=(const BootloaderLink&) = delete;

    // Set while no worker runs; called on the worker thread with each result.
    void setNotifier(LinkNotifier notifier) { notifier_ = std::move(notifier); }
    // Starts a worker from a clean idle state, as a new connection.
    void startWorker();
    // Asks the worker to finish and waits until it has. Every device call is
    // bounded, so this returns within one pass (about 100 ms), never 1500 ms.
    void stopWorker();
    bool workerRunning() const { return worker_.joinable(); }
    // Identifies the current connection in the messages it posts.
    std::uint32_t connection() const { return connection_.load(std::memory_order_relaxed); }

    // Builds a request into txBuffer and publishes it to the worker. False,
    // with nothing to send, for an unknown command, a program request that
    // finds no record, or a verify request for a file without image data.
    bool buildRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs);

    // Frames the first n bytes of `payload` into txBuffer.
    void encodeFrame(std::size_t n);
    void decodeBytes(const std::uint8_t* bytes, std::size_t count) { decoder.decodeBytes(bytes, count); }

    HexFileReader reader;
    FlashImage image;
    HidBootDevice device;

    std::array<std::uint8_t, kPayloadSize> payload{};
    std::array<std::uint8_t, kTxSize> txBuffer{};
    std::size_t txLength = 0;
    FrameDecoder<kRxSize, kRxLimit> decoder;

    // Request state. A request is published by storing sendsLeft last
    // (release); the worker loads it first (acquire) and then reads the frame.
    std::atomic<std::uint8_t> currentCommand{0};
    std::atomic<std::uint16_t> sendsTotal{0};
    std::atomic<std::uint16_t> sendsLeft{0};
    std::atomic<std::uint16_t> timeoutMs{0};
    std::atomic<bool> rewindOnProgram{true};

    // Worker state.
    std::atomic<std::uint32_t> waitState{kIdle};
    std::atomic<bool> timedOut{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> workerExited{false};

    // One receive step of the worker: read a report, dispatch an answer or
    // report a time-out. Public for tests that drive the worker's steps.
    void poll();
    void dispatchResponse();

private:
    void workerLoop();
    void sendFrame();
    void notify(LinkMessage::Kind kind, std::uint8_t command, std::vector<std::uint8_t> data = {});

    LinkNotifier notifier_;
    std::thread worker_;
    std::atomic<std::uint32_t> connection_{0};
    std::int64_t deadlineMs_ = 0;
    std::size_t buildProgramBatch();
    std::uint16_t nextRecord();

    // A record read for a batch it did not fit in; it opens the next batch.
    std::array<std::uint8_t, HexFileReader::destinationSize(HexFileReader::kLineLimit)> record_{};
    std::uint16_t heldRecord_ = 0;
};

} // namespace tarvane
