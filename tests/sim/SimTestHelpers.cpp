#include "tests/sim/SimTestHelpers.h"

#include "link/FrameCodec.h"
#include "link/Protocol.h"

#include <algorithm>

namespace tarvane::test {

std::vector<Report> requestReports(Bytes payload) {
    const std::size_t n = payload.size();
    payload.resize(n + 2);
    Bytes frame(2 * payload.size() + 2);
    frame.resize(encodeFrame(payload.data(), n, frame.data(), frame.size()));
    std::vector<Report> reports;
    for (std::size_t pos = 0; pos < frame.size(); pos += kReportSize) {
        Report r{};
        std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(pos), std::min(kReportSize, frame.size() - pos),
                    r.begin());
        reports.push_back(r);
    }
    return reports;
}

Bytes record(std::uint8_t type, std::uint16_t offset, const Bytes& data) {
    Bytes r{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
            static_cast<std::uint8_t>(offset & 0xFF), type};
    r.insert(r.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : r) sum += b;
    r.push_back(static_cast<std::uint8_t>(-sum & 0xFF));
    return r;
}

Bytes linearRecord(std::uint16_t upper) {
    return record(4, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper & 0xFF)});
}

Bytes programPayload(const std::vector<Bytes>& records) {
    Bytes p{CMD_PROGRAM};
    for (const auto& r : records) p.insert(p.end(), r.begin(), r.end());
    return p;
}

Bytes verifyPayload(std::uint32_t start, std::uint32_t length) {
    Bytes p{CMD_VERIFY};
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<std::uint8_t>(start >> (8 * i)));
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    p.push_back(0);
    p.push_back(0);
    return p;
}

void sendRequest(SimulatedBoard& board, const Bytes& payload, SimulatedBoard::Clock::time_point now) {
    for (const auto& r : requestReports(payload)) board.receiveReport(r, now);
}

std::vector<Bytes> decodeAnswers(const std::vector<Report>& reports) {
    FrameDecoder<256> decoder;
    std::vector<Bytes> answers;
    for (const auto& r : reports) {
        decoder.decodeBytes(r.data(), r.size());
        if (const auto frame = decoder.take(); !frame.empty()) answers.emplace_back(frame.begin(), frame.end());
    }
    return answers;
}

std::vector<Bytes> takeAnswers(SimulatedBoard& board) {
    std::vector<Report> reports;
    Report r{};
    while (board.takeReport(r)) reports.push_back(r);
    return decodeAnswers(reports);
}

} // namespace tarvane::test
