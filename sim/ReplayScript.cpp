#include "sim/ReplayScript.h"

#include "link/FrameCodec.h"
#include "trace/TraceFormat.h"

#include <algorithm>

namespace tarvane {
namespace {

ReplayConnection replayConnection(const TracedConnection& traced) {
    ReplayConnection connection;
    // As large as the board's own: program batches run far past one report.
    FrameDecoder<1000> decoder;
    std::int64_t requestTime = 0;
    const auto markLoss = [&] {
        if (connection.requests.empty()) {
            connection.lostAtStart = true;
        } else {
            connection.requests.back().lostAfter = true;
        }
    };
    for (std::size_t i = 0; i < traced.reports.size(); ++i) {
        if (traced.lost && traced.lostAfter == i) markLoss();
        const TracedReport& report = traced.reports[i];
        if (report.direction == kToBoard) {
            decoder.decodeBytes(report.bytes.data(), report.bytes.size());
            const auto frame = decoder.take();
            if (frame.empty()) continue;
            ReplayRequest request;
            request.payload.assign(frame.begin(), frame.end());
            connection.requests.push_back(std::move(request));
            requestTime = report.micros;
            decoder.reset();
            continue;
        }
        ReplayAnswer answer;
        answer.bytes = report.bytes;
        if (connection.requests.empty()) {
            answer.delay = std::chrono::microseconds(report.micros);
            connection.opening.push_back(answer);
        } else {
            answer.delay = std::chrono::microseconds(std::max<std::int64_t>(report.micros - requestTime, 0));
            connection.requests.back().answers.push_back(answer);
        }
    }
    if (traced.lost && traced.lostAfter >= traced.reports.size()) markLoss();
    return connection;
}

} // namespace

std::vector<ReplayConnection> replayScript(const TraceContents& trace) {
    std::vector<ReplayConnection> script;
    for (const TracedConnection& connection : trace.connections) script.push_back(replayConnection(connection));
    return script;
}

} // namespace tarvane
