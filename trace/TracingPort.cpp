#include "trace/TracingPort.h"

#include "trace/TraceFormat.h"

#include <chrono>

namespace tarvane {
namespace {

using Clock = std::chrono::steady_clock;

class TracingPort final : public ReportPort {
public:
    TracingPort(std::unique_ptr<ReportPort> inner, std::shared_ptr<TraceSink> trace)
        : inner_(std::move(inner)), trace_(std::move(trace)), connection_(trace_->openConnection()) {}

    ~TracingPort() override {
        // The port goes first: a report still in flight is not traced as crossed.
        inner_.reset();
        trace_->closeConnection(connection_);
    }

    bool writeReport(ReportView report) override {
        // Stamped once the report has crossed, as the board saw it.
        const bool sent = inner_->writeReport(report);
        if (sent) {
            trace_->report(elapsed(), kToBoard, report);
        } else {
            lost("a report could not be sent");
        }
        return sent;
    }

    // A frame goes on as one hand-over, as it would without the trace.
    bool writeReports(std::span<const ReportBytes> reports) override {
        const bool sent = inner_->writeReports(reports);
        if (sent) {
            for (const ReportBytes& report : reports) trace_->report(elapsed(), kToBoard, report);
        } else {
            // Which of the frame's reports crossed before the one that failed
            // is not known: none of them is traced.
            lost("a report could not be sent");
        }
        return sent;
    }

    ReadResult readReport(ReportBuffer report, int timeoutMs) override {
        const ReadResult result = inner_->readReport(report, timeoutMs);
        if (result == ReadResult::Report) trace_->report(elapsed(), kToHost, report);
        if (result == ReadResult::Error) lost("the device is gone");
        return result;
    }

private:
    std::int64_t elapsed() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - opened_).count();
    }
    void lost(const char* why) {
        if (lostNoted_) return;
        lostNoted_ = true;
        trace_->connectionLost(connection_, why);
    }

    std::unique_ptr<ReportPort> inner_;
    std::shared_ptr<TraceSink> trace_;
    const std::uint32_t connection_;
    const Clock::time_point opened_ = Clock::now();
    // Worker thread only.
    bool lostNoted_ = false;
};

} // namespace

std::unique_ptr<ReportPort> tracePort(std::unique_ptr<ReportPort> port, std::shared_ptr<TraceSink> trace) {
    if (!port || !trace) return port;
    return std::make_unique<TracingPort>(std::move(port), std::move(trace));
}

PortOpener tracedOpener(PortOpener inner, std::shared_ptr<TraceSink> trace) {
    if (!trace || !inner) return inner;
    return [inner = std::move(inner), trace = std::move(trace)](const DeviceAddress& address, std::uint16_t vendorId,
                                                                std::uint16_t productId, std::string& detail) {
        return tracePort(inner(address, vendorId, productId, detail), trace);
    };
}

} // namespace tarvane
