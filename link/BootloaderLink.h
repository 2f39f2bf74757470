#pragma once

#include "firmware/FlashImage.h"
#include "firmware/HexFileReader.h"
#include "link/FrameCodec.h"
#include "link/Protocol.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tarvane {

// The window's connection to the bootloader: request building, the frame
// buffers and the request state that the UI thread and the worker share.
class BootloaderLink {
public:
    static constexpr std::size_t kPayloadSize = 1000;
    static constexpr std::size_t kTxSize = 1000;
    static constexpr std::size_t kRxSize = 256;
    static constexpr std::size_t kRxLimit = 253;

    BootloaderLink() = default;
    BootloaderLink(const BootloaderLink&) = delete;
    BootloaderLink& operator=(const BootloaderLink&) = delete;

    // Builds a request into txBuffer and publishes it to the worker. False,
    // with nothing to send, for an unknown command, a program request that
    // finds no record, or a verify request for a file without image data.
    bool buildRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeoutMs);

    // Frames the first n bytes of `payload` into txBuffer.
    void encodeFrame(std::size_t n);
    void decodeBytes(const std::uint8_t* bytes, std::size_t count) { decoder.decodeBytes(bytes, count); }

    HexFileReader reader;
    FlashImage image;

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

private:
    std::size_t buildProgramBatch();
    std::uint16_t nextRecord();

    // A record read for a batch it did not fit in; it opens the next batch.
    std::array<std::uint8_t, HexFileReader::destinationSize(HexFileReader::kLineLimit)> record_{};
    std::uint16_t heldRecord_ = 0;
};

} // namespace tarvane
