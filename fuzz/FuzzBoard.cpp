// The simulated board's request handling. Any report sequence, with any of its
// fault switches, must leave it whole and answering in well-formed frames;
// valid requests built from the input must leave its flash exactly as a model
// of the records says and answer each as the protocol does.
#include "firmware/Crc16.h"
#include "fuzz/FuzzInput.h"
#include "link/FrameCodec.h"
#include "link/Protocol.h"
#include "sim/BoardFlash.h"
#include "sim/SimulatedBoard.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace tarvane::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Report = std::array<std::uint8_t, kReportSize>;
using AnswerDecoder = FrameDecoder<256, 253>;

constexpr std::uint32_t kFlashBase = BoardFlash::kBase;
constexpr std::uint32_t kFlashSize = BoardFlash::kSize;

// Frames a request and hands it to the board as the device sends it: 64-byte
// reports, the last padded with zeros.
void send(SimulatedBoard& board, Bytes payload) {
    const std::size_t n = payload.size();
    payload.resize(n + 2);
    Bytes frame(2 * (n + 2) + 2);
    const std::size_t length = encodeFrame(payload.data(), n, frame.data(), frame.size());
    require(length > 0, "a request could not be framed");
    for (std::size_t pos = 0; pos < length; pos += kReportSize) {
        Report report{};
        std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(pos), std::min(kReportSize, length - pos),
                    report.begin());
        board.receiveReport(report);
    }
}

// Each answer travels in one report of its own.
std::vector<Bytes> takeAnswers(SimulatedBoard& board, bool crcMayBeWrong) {
    std::vector<Bytes> answers;
    Report report{};
    while (board.takeReport(report)) {
        AnswerDecoder decoder;
        decoder.decodeBytes(report.data(), report.size());
        const auto frame = decoder.take();
        if (frame.empty()) {
            require(crcMayBeWrong, "an answer report holds no valid frame");
            continue;
        }
        answers.emplace_back(frame.begin(), frame.end());
    }
    return answers;
}

void requireWellFormed(const Bytes& answer) {
    switch (answer[0]) {
    case CMD_QUERY:
        require(answer == Bytes{CMD_QUERY, SimulatedBoard::kVersionMajor, SimulatedBoard::kVersionMinor},
                "a query answer is not the version");
        break;
    case CMD_ERASE:
    case CMD_PROGRAM: require(answer.size() == 1, "an erase or program answer carries data"); break;
    case CMD_VERIFY: require(answer.size() == 3, "a verify answer is not a CRC"); break;
    case SimulatedBoard::kUnknownAnswerCommand:
        require(answer.size() == 1 || answer.size() == 3, "a falsified answer has an odd length");
        break;
    default: fail("an answer carries a command the board never answers");
    }
}

SimFaults faultsFrom(FuzzInput& in) {
    SimFaults faults;
    const std::uint8_t f = in.byte();
    if (f & 0x01) faults.dropEvery = 1 + in.byte() % 5u;
    if (f & 0x02) faults.corruptCrcEvery = 1 + in.byte() % 4u;
    if (f & 0x04) faults.answerTwice = true;
    if (f & 0x08) faults.wrongVerifyCrc = true;
    if (f & 0x10) faults.closeAfter = 1 + in.byte() % 8u;
    if (f & 0x20) faults.silent.insert(in.byte() % 6u);
    if (f & 0x40) faults.unknownAnswer.insert(in.byte() % 6u);
    if (f & 0x80) faults.answerFrom[in.byte() % 6u] = in.byte() % 4u;
    return faults;
}

// Verify lengths stay short so that runs stay fast (a range across the end of
// the flash only needs to start near it); some are runaways the board refuses.
std::uint32_t verifyLength(FuzzInput& in) {
    const std::uint32_t raw = in.u32();
    return (raw >> 24) == 0xFF ? raw | (SimulatedBoard::kMaxVerifyLength + 1) : raw % 0x1000u;
}

Bytes verifyRequest(std::uint32_t start, std::uint32_t length) {
    Bytes p{CMD_VERIFY};
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<std::uint8_t>(start >> (8 * i)));
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    return p;
}

// Brings a board back to an erased flash and a new connection. Only the
// counters stay, which faults without a period or a start never read.
void renew(SimulatedBoard& board) {
    board.connect();
    send(board, {CMD_ERASE});
    Report report{};
    while (board.takeReport(report)) {
    }
}

// These faults count requests or answers over the board's life, and closing
// the connection would refuse the erase that renews a board.
bool countsRequests(const SimFaults& f) {
    return f.dropEvery != 0 || f.corruptCrcEvery != 0 || !f.answerFrom.empty() || f.closeAfter != 0;
}

bool sameFaults(const SimFaults& a, const SimFaults& b) {
    return a.silent == b.silent && a.unknownAnswer == b.unknownAnswer && a.answerTwice == b.answerTwice &&
           a.wrongVerifyCrc == b.wrongVerifyCrc;
}

// A board as new with these faults. Building one per run (its 512 KiB flash)
// costs more than the run itself, so a board is kept while the faults that
// follow need no new one: libFuzzer tries many inputs with the same faults in a row.
SimulatedBoard& boardFor(const SimFaults& faults, std::optional<SimulatedBoard>& own) {
    if (countsRequests(faults)) return own.emplace(faults);
    static std::optional<SimulatedBoard> kept;
    static SimFaults keptFaults;
    if (!kept || !sameFaults(keptFaults, faults)) {
        kept.emplace(faults);
        keptFaults = faults;
    } else {
        renew(*kept);
    }
    return *kept;
}

// Anything at all: raw reports, framed requests of any content, reconnects.
void fuzzReports(FuzzInput& in) {
    const SimFaults faults = faultsFrom(in);
    std::optional<SimulatedBoard> own;
    SimulatedBoard& board = boardFor(faults, own);
    const bool crcMayBeWrong = faults.corruptCrcEvery != 0;
    while (!in.empty()) {
        switch (in.byte() % 6) {
        case 0: {
            Report report{};
            const auto bytes = in.bytes(kReportSize);
            std::copy(bytes.begin(), bytes.end(), report.begin());
            board.receiveReport(report);
            break;
        }
        case 1: {
            Bytes payload{in.byte()};
            const auto rest = in.bytes(in.u16() % 1000u);
            payload.insert(payload.end(), rest.begin(), rest.end());
            // A verify of megabytes would make this run slow, not more telling:
            // lengths below 64 KiB or above the board's limit.
            if (payload[0] == CMD_VERIFY && payload.size() >= 9) {
                if (payload[8] == 0) payload[7] = 0;
                else payload[5] |= 1;
            }
            send(board, payload);
            break;
        }
        case 2:
            for (const Bytes& answer : takeAnswers(board, crcMayBeWrong)) requireWellFormed(answer);
            break;
        case 3: board.connect(); break;
        case 4: {
            board.flashByte(in.u32());
            const std::uint32_t start = in.u32();
            board.flashCrc(start, in.u32() % 0x1000u);
            Report report{};
            board.takeReport(report, board.startTime());
            board.nextReportTime();
            break;
        }
        default: {
            const std::uint32_t start = in.u32();
            send(board, verifyRequest(start, verifyLength(in)));
            break;
        }
        }
    }
    for (const Bytes& answer : takeAnswers(board, crcMayBeWrong)) requireWellFormed(answer);
    std::uint32_t perCommand = 0;
    for (unsigned c = 0; c < 256; ++c) perCommand += board.requestCount(static_cast<std::uint8_t>(c));
    require(perCommand == board.requestCount(), "the per-command counts do not add up");
}

// What the board's flash must hold, kept by this harness from the records it sends.
struct FlashModel {
    Bytes bytes = Bytes(kFlashSize, 0xFF);
    std::uint32_t segmentBase = 0;
    std::uint32_t linearBase = 0;
    // Offsets programmed since the last erase.
    std::vector<std::uint32_t> touched;

    void erase() {
        for (const std::uint32_t offset : touched) bytes[offset] = 0xFF;
        touched.clear();
        segmentBase = 0;
        linearBase = 0;
    }

    void program(const Bytes& records) {
        for (std::size_t pos = 0; pos < records.size();) {
            const std::uint8_t length = records[pos];
            const std::uint8_t type = records[pos + 3];
            const std::uint8_t* data = &records[pos + 4];
            const auto value = static_cast<std::uint32_t>(length >= 2 ? data[0] << 8 | data[1] : 0);
            if (type == 0) {
                const auto offset = static_cast<std::uint32_t>(records[pos + 1] << 8 | records[pos + 2]);
                const std::uint32_t physical = ((offset + segmentBase + linearBase) | 0x80000000u) & 0x1FFFFFFFu;
                for (std::uint64_t i = 0; i < length; ++i) {
                    const std::uint64_t p = physical + i;
                    if (p >= kFlashBase && p < std::uint64_t{kFlashBase} + kFlashSize) {
                        bytes[p - kFlashBase] &= data[i];
                        touched.push_back(static_cast<std::uint32_t>(p - kFlashBase));
                    }
                }
            } else if (type == 2) {
                segmentBase = value * 16;
                linearBase = 0;
            } else if (type == 4) {
                linearBase = value << 16;
                segmentBase = 0;
            }
            pos += std::size_t{length} + 5;
        }
    }

    std::uint16_t crc(std::uint32_t start, std::uint32_t length) const {
        static Bytes range;
        range.assign(length, 0xFF);
        // Byte by byte would be clearer but far too slow under instrumentation:
        // copy the stretches where the range meets one view of the flash.
        for (std::uint64_t view = 0; view <= 0xE0000000u; view += 0x20000000u) {
            const std::uint64_t flashStart = view + kFlashBase;
            const std::uint64_t from = std::max<std::uint64_t>(start, flashStart);
            const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t{start} + length, flashStart + kFlashSize);
            if (from >= to) continue;
            std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(from - flashStart),
                      bytes.begin() + static_cast<std::ptrdiff_t>(to - flashStart),
                      range.begin() + static_cast<std::ptrdiff_t>(from - start));
        }
        return crc16(range.data(), range.size());
    }
};

// Upper address words that reach the flash through each of its views, and any other.
std::uint16_t linearValue(FuzzInput& in) {
    static constexpr std::array<std::uint16_t, 4> kViews{0x1D00, 0x9D00, 0xBD00, 0x1D07};
    const std::uint16_t raw = in.u16();
    return (raw & 0x8000) != 0 ? raw : static_cast<std::uint16_t>(kViews[raw % 4] + (raw >> 2) % 9);
}

Bytes makeRecord(std::uint8_t type, std::uint16_t offset, const Bytes& data) {
    Bytes r{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
            static_cast<std::uint8_t>(offset), type};
    r.insert(r.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const std::uint8_t b : r) sum += b;
    r.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    return r;
}

Bytes programBatch(FuzzInput& in) {
    static constexpr std::array<std::uint8_t, 8> kTypes{0, 0, 0, 0, 4, 2, 1, 5};
    Bytes records;
    const int count = 1 + in.byte() % kBatchRecords;
    for (int i = 0; i < count && records.size() < 900; ++i) {
        const std::uint8_t type = kTypes[in.byte() % kTypes.size()];
        Bytes data;
        if (type == 4) {
            const std::uint16_t v = linearValue(in);
            data = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
        } else if (type == 2) {
            const auto given = in.bytes(2);
            data.assign(given.begin(), given.end());
            data.resize(2);
        } else if (type == 0) {
            const auto given = in.bytes(in.byte() % 65u);
            data.assign(given.begin(), given.end());
        }
        const Bytes r = makeRecord(type, in.u16(), data);
        records.insert(records.end(), r.begin(), r.end());
    }
    return records;
}

// Valid requests only, each answer and the flash checked against the model:
// every programmed byte, and with `wholeFlash` every byte (a copy of the
// flash per run would cost more than the run).
void fuzzRequests(FuzzInput& in, bool wholeFlash) {
    static SimulatedBoard board;
    renew(board);
    static FlashModel model;
    model.erase();
    while (!in.empty()) {
        std::vector<Bytes> expected;
        switch (in.byte() % 6) {
        case 0:
            send(board, {CMD_ERASE});
            model.erase();
            expected.push_back({CMD_ERASE});
            break;
        case 1: {
            const Bytes records = programBatch(in);
            const std::uint8_t spoil = in.byte();
            Bytes payload{CMD_PROGRAM};
            payload.insert(payload.end(), records.begin(), records.end());
            if (spoil < 16) {
                // One bad byte refuses the whole batch: no answer, no change.
                payload[1 + spoil * 7u % records.size()] ^= 0x5A;
            } else {
                model.program(records);
                expected.push_back({CMD_PROGRAM});
            }
            send(board, payload);
            break;
        }
        case 2: {
            const std::uint32_t raw = in.u32();
            const std::uint32_t start = (raw & 1) != 0 ? raw : (raw & 0xE0000000u) | (kFlashBase + (raw >> 1) % kFlashSize);
            const std::uint32_t length = verifyLength(in);
            send(board, verifyRequest(start, length));
            if (length <= SimulatedBoard::kMaxVerifyLength) {
                const std::uint16_t crc = model.crc(start, length);
                expected.push_back({CMD_VERIFY, static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)});
            }
            break;
        }
        case 3:
            send(board, {CMD_QUERY});
            expected.push_back({CMD_QUERY, SimulatedBoard::kVersionMajor, SimulatedBoard::kVersionMinor});
            break;
        case 4: send(board, {CMD_START_APP}); break;
        default:
            board.connect();
            model.segmentBase = 0;
            model.linearBase = 0;
            break;
        }
        require(takeAnswers(board, false) == expected, "the board answered otherwise than the protocol says");
    }
    for (const std::uint32_t offset : model.touched) {
        require(board.flashByte(kFlashBase + offset) == model.bytes[offset],
                "the board's flash is not what the requests programmed");
    }
    require(!wholeFlash || board.flash() == model.bytes, "the board's flash is not what the requests programmed");
}

} // namespace
} // namespace tarvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvane::fuzz::FuzzInput in(data, size);
    const std::uint8_t mode = in.byte();
    if ((mode & 1) != 0) {
        tarvane::fuzz::fuzzRequests(in, (mode & 0x7E) == 0x7E);
    } else {
        tarvane::fuzz::fuzzReports(in);
    }
    return 0;
}
