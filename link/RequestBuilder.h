#pragma once

#include "firmware/FlashImage.h"
#include "firmware/HexFileReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvane {

// Builds one bootloader request at a time, as the frame that goes on the wire.
// Program requests stream the HEX file in batches, so the builder keeps the
// record that did not fit one batch to open the next. Not thread-safe: the
// link hands it from one thread to the other with each request.
class RequestBuilder {
public:
    static constexpr std::size_t kPayloadSize = 1000;
    static constexpr std::size_t kFrameSize = 1000;

    // Query, erase and start: the command byte alone. False for any other command.
    bool buildCommand(std::uint8_t command);
    // Up to kBatchRecords records from where `reader` stands, from its first
    // line when `fromStart`. False when no record is left.
    bool buildProgramBatch(HexFileReader& reader, bool fromStart);
    // The range to verify: start and length (4 bytes each) and CRC (2), little-endian.
    bool buildVerify(const VerifyRange& range);

    // The frame of the last request built; empty after a failed build.
    std::span<const std::uint8_t> frame() const { return {frame_.data(), frameLength_}; }

private:
    bool finish(std::size_t payloadLength);
    std::uint16_t nextRecord(HexFileReader& reader);

    std::array<std::uint8_t, kPayloadSize> payload_{};
    std::array<std::uint8_t, kFrameSize> frame_{};
    std::size_t frameLength_ = 0;
    // A record read for a batch it did not fit in; it opens the next batch.
    std::array<std::uint8_t, HexFileReader::destinationSize(HexFileReader::kLineLimit)> record_{};
    std::uint16_t heldRecord_ = 0;
};

} // namespace tarvane
