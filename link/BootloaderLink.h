#pragma once

#include "firmware/FlashImage.h"
#include "firmware/HexFileReader.h"
#include "link/FrameCodec.h"
#include "link/Protocol.h"
#include "link/RequestBuilder.h"
#include "link/ResendHold.h"
#include "update/LinkMessage.h"
#include "update/UpdateLink.h"
#include "usb/DeviceAddress.h"
#include "usb/HidBootDevice.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

namespace tarvane {

// The window's connection to the bootloader. The UI thread chooses and opens
// the device and the file and starts requests; the worker thread sends them,
// re-sends them when no answer comes in time, gives up after the allowed
// sends, streams program batches by itself, and hands every result to the
// notifier as a LinkMessage.
class BootloaderLink final : public UpdateLink {
public:
    static constexpr std::size_t kRxSize = 256;
    static constexpr std::size_t kRxLimit = 253;

    BootloaderLink() = default;
    ~BootloaderLink();
    BootloaderLink(const BootloaderLink&) = delete;
    BootloaderLink& operator=(const BootloaderLink&) = delete;

    // Set-up, on the UI thread while no worker runs.
    void setNotifier(LinkNotifier notifier) { notifier_ = std::move(notifier); }
    // Where the bootloader is looked for; the next connection uses it.
    void useDevice(DeviceAddress address, PortOpener opener) {
        device_.setBackend(std::move(address), std::move(opener));
    }
    bool findDevice(std::uint16_t vendorId, std::uint16_t productId) override { return device_.find(vendorId, productId); }
    const std::string& deviceDetail() const override { return device_.lastDetail(); }
    void closeDevice() { device_.close(); }
    // Its lines are counted.
    bool useFile(std::shared_ptr<const std::string> bytes) override { return outgoing_.reader.open(std::move(bytes)); }

    // A worker started afresh with this notifier; the device stays open.
    void connect(LinkNotifier notifier) override {
        stopWorker();
        setNotifier(std::move(notifier));
        startWorker();
    }
    void disconnect() override {
        stopWorker();
        closeDevice();
    }
    bool connected() const override { return workerRunning(); }

    // Starts a worker from a clean idle state, as a new connection.
    void startWorker();
    // Asks the worker to finish and waits until it has. Every device call is
    // bounded, so this returns within one pass, never a fixed 1500 ms.
    void stopWorker();
    bool workerRunning() const { return worker_.joinable(); }
    // Identifies the current connection in the messages it posts.
    std::uint32_t connection() const override { return shared_.connection.load(std::memory_order_relaxed); }

    // Starts a request; the UI thread calls these only while the worker is
    // idle. A program request starts from the file's first record. False,
    // with nothing to send, for an unknown command, a program request that
    // finds no record, or an empty verification range.
    bool sendRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs) override;
    bool sendVerifyRequest(const VerifyRange& range, std::uint16_t sends, std::uint16_t timeoutMs) override;

    // From any thread.
    Progress progress() const override;

private:
    enum WaitState : std::uint32_t { kIdle = 0, kAwaiting = 1 };

    // Publishes the request just built, storing sendsLeft last.
    bool publish(bool built, std::uint16_t sends, std::uint16_t timeoutMs);
    void workerLoop();
    // One receive step: read a report, dispatch an answer or report a time-out.
    // True when a report arrived.
    bool poll();
    // One send step: the pending request's first send (once the answers to a
    // re-sent request before it are waited out), a re-send when its time is
    // up, or the end of its sends. True when a frame went out.
    bool sendDue();
    // `frame`: the answer's payload, as the decoder handed it out.
    void dispatchResponse(std::span<const std::uint8_t> frame);
    void sendFrame();
    void notify(LinkMessage::Kind kind, std::uint8_t command, std::vector<std::uint8_t> data = {});

    // Found and closed by the UI thread while no worker runs; read and written
    // by the worker while it runs.
    HidBootDevice device_;

    // The request and the file it streams: built by the UI thread while the
    // worker is idle, and by the worker itself while it chains program batches.
    struct Outgoing {
        RequestBuilder builder;
        HexFileReader reader;
    } outgoing_;

    // Shared by both threads. A request is published by storing sendsLeft last
    // (release); the worker loads it first (acquire) and then reads the frame.
    struct Shared {
        std::atomic<std::uint8_t> currentCommand{0};
        std::atomic<std::uint16_t> sendsTotal{0};
        std::atomic<std::uint16_t> sendsLeft{0};
        std::atomic<std::uint16_t> timeoutMs{0};
        std::atomic<std::uint32_t> waitState{kIdle};
        std::atomic<bool> timedOut{false};
        std::atomic<bool> stopRequested{false};
        std::atomic<std::uint32_t> connection{0};
    } shared_;

    // The worker's own; startWorker resets them before the thread starts.
    struct WorkerOnly {
        FrameDecoder<kRxSize, kRxLimit> decoder;
        std::int64_t deadlineMs = 0;
        ResendHold hold;
    } workerState_;

    LinkNotifier notifier_;
    std::thread worker_;
};

} // namespace tarvane
