#include "link/RequestBuilder.h"

#include "link/FrameCodec.h"
#include "link/Protocol.h"

#include <cstring>

namespace tarvane {
namespace {

void putLittleEndian(std::uint8_t* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

bool RequestBuilder::buildCommand(std::uint8_t command) {
    frameLength_ = 0;
    if (command != CMD_QUERY && command != CMD_ERASE && command != CMD_START_APP) return false;
    payload_[0] = command;
    return finish(1);
}

bool RequestBuilder::buildVerify(const VerifyRange& range) {
    frameLength_ = 0;
    if (range.empty()) return false;
    payload_[0] = CMD_VERIFY;
    putLittleEndian(&payload_[1], range.start, 4);
    putLittleEndian(&payload_[5], range.length, 4);
    putLittleEndian(&payload_[9], range.crc, 2);
    return finish(11);
}

// Never more records than fit the payload and, escaped, the frame: a record
// that does not fit is held back and opens the next batch, so each is sent
// exactly once.
bool RequestBuilder::buildProgramBatch(HexFileReader& reader, bool fromStart) {
    frameLength_ = 0;
    if (fromStart) {
        if (!reader.isOpen()) return false;
        reader.rewind();
        reader.resetLinesConsumed();
        heldRecord_ = 0;
    }

    payload_[0] = CMD_PROGRAM;
    std::size_t n = 1;
    // SOH, EOT, the command byte and the CRC as if both its bytes were escaped.
    std::size_t frameBytes = 2 + escapedLength(payload_.data(), 1) + 4;
    for (int i = 0; i < kBatchRecords; ++i) {
        const std::uint16_t count = nextRecord(reader);
        if (count == 0) {
            if (i == 0) return false;
            continue;
        }
        const std::size_t onWire = escapedLength(record_.data(), count);
        if (n + count + 2 > kPayloadSize || frameBytes + onWire > kFrameSize) {
            heldRecord_ = count;
            break;
        }
        std::memcpy(&payload_[n], record_.data(), count);
        n += count;
        frameBytes += onWire;
    }
    return finish(n);
}

bool RequestBuilder::finish(std::size_t payloadLength) {
    frameLength_ = encodeFrame(payload_.data(), payloadLength, frame_.data(), frame_.size());
    return frameLength_ != 0;
}

std::uint16_t RequestBuilder::nextRecord(HexFileReader& reader) {
    if (heldRecord_ != 0) {
        const std::uint16_t count = heldRecord_;
        heldRecord_ = 0;
        return count;
    }
    return reader.readRecord(record_.data(), HexFileReader::kLineLimit);
}

} // namespace tarvane
