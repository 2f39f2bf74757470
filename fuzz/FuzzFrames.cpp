// Frames as the link meets them: any bytes cut into reports at any points go
// through the link's decoder and its rule for answers, checked against the
// decoding and answer rules written out once more; and any payload, encoded and cut anywhere, decodes
// back to itself, both as an answer and as a request the board receives.
#include "firmware/Crc16.h"
#include "fuzz/FuzzInput.h"
#include "link/AnswerRule.h"
#include "link/BootloaderLink.h"
#include "link/FrameCodec.h"
#include "link/Protocol.h"
#include "link/RequestBuilder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace tarvane::fuzz {
namespace {

using LinkDecoder = FrameDecoder<BootloaderLink::kRxSize, BootloaderLink::kRxLimit>;
using BoardDecoder = FrameDecoder<1000>;

// The decoding rules, byte by byte, kept apart from the product's decoder.
struct ModelDecoder {
    std::array<std::uint8_t, BootloaderLink::kRxSize> buffer{};
    std::size_t index = 0;
    bool escape = false;
    bool complete = false;

    void feed(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count && !complete; ++i) {
            const std::uint8_t c = bytes[i];
            if (index >= BootloaderLink::kRxLimit) index = 0;
            if (escape) {
                store(c);
            } else if (c == SOH) {
                index = 0;
            } else if (c == EOT) {
                if (index > 2) {
                    const auto sent = static_cast<std::uint16_t>(buffer[index - 2] | buffer[index - 1] << 8);
                    complete = crc16(buffer.data(), index - 2) == sent;
                }
            } else if (c == DLE) {
                escape = true;
            } else {
                store(c);
            }
        }
    }

    void store(std::uint8_t c) {
        buffer[index++] = c;
        escape = false;
    }
};

void requireSameState(const LinkDecoder& decoder, const ModelDecoder& model) {
    const auto received = decoder.received();
    require(received.size() == model.index, "rxIndex differs from the decoding rules");
    require(decoder.escapePending() == model.escape, "escapePending differs from the decoding rules");
    require(decoder.frameComplete() == model.complete, "frameComplete differs from the decoding rules");
    require(std::equal(model.buffer.begin(), model.buffer.begin() + static_cast<std::ptrdiff_t>(model.index),
                       received.begin()),
            "rxBuffer differs from the decoding rules");
}

// What the worker does with a complete frame, given what the input says it
// awaits: the rules written out once more, and the data it would post.
void judge(std::span<const std::uint8_t> payload, std::uint8_t state) {
    const std::uint8_t command = payload[0];
    const std::size_t length = payload.size();
    const bool awaiting = (state & 0x80) != 0;
    const auto awaited = static_cast<std::uint8_t>(state & 0x07);
    const AnswerUse use = answerUse(command, awaiting, awaited);
    const bool windowCommand = command >= CMD_QUERY && command <= CMD_VERIFY;
    if (windowCommand && (!awaiting || command != awaited)) {
        require(use == AnswerUse::Ignored, "an answer nobody waits for was taken");
    } else if (!windowCommand) {
        require(use == AnswerUse::EndsRequest, "an unknown answer was not just ended");
    } else {
        require(use == (command == CMD_PROGRAM ? AnswerUse::NextBatch : AnswerUse::Posted),
                "an awaited answer was not taken");
    }
    const std::vector<std::uint8_t> data = answerData(payload);
    require(data.size() == std::max<std::size_t>(length, 1) - 1 &&
                std::equal(data.begin(), data.end(), payload.begin() + 1),
            "the posted data is not the answer's");
}

// Any bytes, cut into reports at points the input chooses.
void fuzzStream(FuzzInput& in) {
    LinkDecoder decoder;
    ModelDecoder model;
    while (!in.empty()) {
        const std::uint8_t cut = in.byte();
        const auto chunk = in.bytes(cut % kReportSize + 1u);
        std::array<std::uint8_t, kReportSize> report{};
        std::copy(chunk.begin(), chunk.end(), report.begin());
        // Reports from a device are always whole; a cut then pads with zeros.
        const std::size_t length = (cut & 0x80) != 0 ? kReportSize : chunk.size();
        decoder.decodeBytes(report.data(), length);
        model.feed(report.data(), length);
        requireSameState(decoder, model);
        if (decoder.frameComplete()) {
            const auto received = decoder.received();
            const auto payload = decoder.take();
            const std::size_t n = payload.size();
            require(!decoder.frameComplete() && decoder.take().empty(), "a frame was handed out twice");
            require(n >= 1 && n + 2 < BootloaderLink::kRxLimit && n + 2 == received.size(),
                    "a complete frame of impossible length");
            require(crc16(payload.data(), n) == (received[n] | received[n + 1] << 8), "a complete frame fails its CRC");
            judge(payload, in.byte());
            model.complete = false;
        }
    }
}

// Encodes the payload, checks the frame's length and its capacity bound, and returns it.
std::vector<std::uint8_t> encode(std::vector<std::uint8_t>& payload, std::size_t n) {
    std::vector<std::uint8_t> frame(2 * (n + 2) + 2);
    const std::size_t length = encodeFrame(payload.data(), n, frame.data(), frame.size());
    require(length == escapedLength(payload.data(), n + 2) + 2, "the frame's length is not the escaped length");
    frame.resize(length);
    std::vector<std::uint8_t> tight(length - 1);
    require(encodeFrame(payload.data(), n, tight.data(), tight.size()) == 0, "a frame was written past its capacity");
    std::vector<std::uint8_t> exact(length);
    require(encodeFrame(payload.data(), n, exact.data(), exact.size()) == length && exact == frame,
            "a frame that just fits was not written whole");
    return frame;
}

// A payload encoded, preceded by noise and cut anywhere, decodes back.
void fuzzRoundTrip(FuzzInput& in) {
    const std::size_t n = 1 + in.u16() % 300;
    std::vector<std::uint8_t> payload(n + 2);
    const auto given = in.bytes(n);
    std::copy(given.begin(), given.end(), payload.begin());
    const std::vector<std::uint8_t> original(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
    const std::vector<std::uint8_t> frame = encode(payload, n);

    LinkDecoder decoder;
    const auto noise = in.bytes(in.byte() % 80);
    decoder.decodeBytes(noise.data(), noise.size());
    decoder.take();
    // A DLE at the end of the noise takes the next byte as data; costs one answer.
    if (decoder.escapePending()) {
        const std::uint8_t filler = 0;
        decoder.decodeBytes(&filler, 1);
    }

    std::size_t pos = 0;
    while (pos < frame.size()) {
        require(!decoder.frameComplete(), "a frame completed before its EOT");
        const std::size_t take = std::min<std::size_t>(in.byte() % kReportSize + 1u, frame.size() - pos);
        std::array<std::uint8_t, kReportSize> report{};
        std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(pos), take, report.begin());
        pos += take;
        std::size_t length = take;
        if (pos == frame.size()) {
            // What follows the EOT in its report is dropped.
            const auto tail = in.bytes(kReportSize - take);
            std::copy(tail.begin(), tail.end(), report.begin() + static_cast<std::ptrdiff_t>(take));
            length = kReportSize;
        }
        decoder.decodeBytes(report.data(), length);
    }
    if (n + 2 < BootloaderLink::kRxLimit) {
        const auto decoded = decoder.take();
        require(!decoded.empty(), "an encoded payload did not decode");
        require(decoded.size() == n && std::equal(original.begin(), original.end(), decoded.begin()),
                "an encoded payload decoded to other bytes");
    }
}

// A request framed as the link frames it reaches the board's decoder whole,
// carried in 64-byte reports as the device sends them.
void fuzzRequest(FuzzInput& in) {
    std::array<std::uint8_t, RequestBuilder::kPayloadSize> payload{};
    std::array<std::uint8_t, RequestBuilder::kFrameSize> frame{};
    const std::size_t n = 1 + in.u16() % (RequestBuilder::kPayloadSize - 2);
    const auto given = in.bytes(n);
    std::copy(given.begin(), given.end(), payload.begin());
    const std::size_t frameLength = encodeFrame(payload.data(), n, frame.data(), frame.size());
    if (frameLength == 0) {
        require(escapedLength(payload.data(), n + 2) + 2 > RequestBuilder::kFrameSize,
                "a request that fits was refused");
        return;
    }
    BoardDecoder decoder;
    for (std::size_t pos = 0; pos < frameLength; pos += kReportSize) {
        require(!decoder.frameComplete(), "a request completed before its EOT");
        std::array<std::uint8_t, kReportSize> report{};
        std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(pos), std::min(kReportSize, frameLength - pos),
                    report.begin());
        decoder.decodeBytes(report.data(), report.size());
    }
    const auto decoded = decoder.take();
    require(decoded.size() == n &&
                std::equal(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n), decoded.begin()),
            "a request decoded to other bytes on the board");
}

} // namespace
} // namespace tarvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvane::fuzz::FuzzInput in(data, size);
    switch (in.byte() % 3) {
    case 0: tarvane::fuzz::fuzzStream(in); break;
    case 1: tarvane::fuzz::fuzzRoundTrip(in); break;
    default: tarvane::fuzz::fuzzRequest(in); break;
    }
    return 0;
}
