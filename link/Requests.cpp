#include "link/BootloaderLink.h"

#include <cstring>

namespace tarvane {
namespace {

void putLittleEndian(std::uint8_t* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

void BootloaderLink::encodeFrame(std::size_t n) {
    txLength = tarvane::encodeFrame(payload.data(), n, txBuffer.data(), txBuffer.size());
}

bool BootloaderLink::buildRequest(std::uint8_t command, std::uint16_t sends, std::uint16_t timeout) {
    txLength = 0;
    currentCommand.store(command, std::memory_order_relaxed);
    if (command < CMD_QUERY || command > CMD_START_APP) return false;

    payload[0] = command;
    std::size_t n = 1;
    switch (command) {
    case CMD_PROGRAM:
        n = buildProgramBatch();
        if (n == 0) return false;
        break;
    case CMD_VERIFY: {
        const VerifyRange range = loadImage(reader, image);
        if (range.empty()) return false;
        putLittleEndian(&payload[1], range.start, 4);
        putLittleEndian(&payload[5], range.length, 4);
        putLittleEndian(&payload[9], range.crc, 2);
        n = 11;
        break;
    }
    case CMD_START_APP:
        // The application takes over at once; there is nobody left to answer.
        sends = 1;
        timeout = 10;
        break;
    default:
        break;
    }

    encodeFrame(n);
    if (txLength == 0) return false;
    sendsTotal.store(sends, std::memory_order_relaxed);
    timeoutMs.store(timeout, std::memory_order_relaxed);
    sendsLeft.store(sends, std::memory_order_release);
    return true;
}

// Up to kBatchRecords records from where the reader stands, but never more
// than fit the payload and, escaped, the frame buffer: a record that does not
// fit is held back and opens the next batch, so each is sent exactly once.
std::size_t BootloaderLink::buildProgramBatch() {
    if (rewindOnProgram.load(std::memory_order_relaxed)) {
        if (!reader.isOpen()) return 0;
        reader.rewind();
        reader.resetLinesConsumed();
        heldRecord_ = 0;
    }

    std::size_t n = 1;
    // SOH, EOT, the command byte and the CRC as if both its bytes were escaped.
    std::size_t frameBytes = 2 + escapedLength(payload.data(), 1) + 4;
    for (int i = 0; i < kBatchRecords; ++i) {
        const std::uint16_t count = nextRecord();
        if (count == 0) {
            if (i == 0) return 0;
            continue;
        }
        const std::size_t onWire = escapedLength(record_.data(), count);
        if (n + count + 2 > kPayloadSize || frameBytes + onWire > kTxSize) {
            heldRecord_ = count;
            break;
        }
        std::memcpy(&payload[n], record_.data(), count);
        n += count;
        frameBytes += onWire;
    }
    return n;
}

std::uint16_t BootloaderLink::nextRecord() {
    if (heldRecord_ != 0) {
        const std::uint16_t count = heldRecord_;
        heldRecord_ = 0;
        return count;
    }
    return reader.readRecord(record_.data(), HexFileReader::kLineLimit);
}

} // namespace tarvane
