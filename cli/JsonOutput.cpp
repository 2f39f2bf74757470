#include "cli/JsonOutput.h"

#include "cli/OutcomeWords.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace tarvane {
namespace {

const char* phaseName(UpdatePhase phase) {
    switch (phase) {
    case UpdatePhase::Connecting:
        return "connect";
    case UpdatePhase::Erasing:
        return "erase";
    case UpdatePhase::Programming:
        return "program";
    case UpdatePhase::Verifying:
        return "verify";
    case UpdatePhase::Starting:
        return "start";
    case UpdatePhase::Idle:
        break;
    }
    return nullptr;
}

// The device, when there is one, comes right after the type.
std::string dump(const nlohmann::ordered_json& object, const std::string& device) {
    nlohmann::ordered_json named;
    const nlohmann::ordered_json* shown = &object;
    if (!device.empty()) {
        for (auto it = object.begin(); it != object.end(); ++it) {
            named[it.key()] = it.value();
            if (it.key() == "type") named["device"] = device;
        }
        shown = &named;
    }
    // Invalid UTF-8 in a file name must not make the whole line unparsable.
    return shown->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

JsonOutput::JsonOutput(std::ostream& out, std::string device, std::mutex* shared)
    : out_(out), device_(std::move(device)), shared_(shared) {}

void JsonOutput::write(const std::string& line) {
    const auto held = shared_ ? std::unique_lock<std::mutex>(*shared_) : std::unique_lock<std::mutex>();
    out_ << line << '\n' << std::flush;
}

void JsonOutput::printLine(const std::string& line) {
    write(dump({{"type", "log"}, {"text", line}}, device_));
}

void JsonOutput::problem(const UpdateProblem& problem) {
    nlohmann::ordered_json object{{"type", "error"}, {"text", problem.text}};
    if (!problem.detail.empty()) object["detail"] = problem.detail;
    write(dump(object, device_));
}

void JsonOutput::phaseProgress(UpdatePhase phase, std::int64_t done, std::int64_t total) {
    const char* name = phaseName(phase);
    if (!name || total <= 0) return;
    // Within a phase progress only moves forward, and an unchanged tick says nothing new.
    if (phase == lastPhase_ && done <= lastDone_) return;
    lastPhase_ = phase;
    lastDone_ = done;
    progress(name, done, total);
}

void JsonOutput::waiting(std::int64_t waitedMs, std::int64_t limitMs) {
    progress("wait", waitedMs, limitMs);
}

void JsonOutput::progress(const char* phase, std::int64_t done, std::int64_t total) {
    const double percent = total > 0 ? 100.0 * static_cast<double>(std::min(done, total)) / static_cast<double>(total) : 0.0;
    write(dump({{"type", "progress"},
                {"phase", phase},
                {"done", done},
                {"total", total},
                {"percent", static_cast<double>(static_cast<long long>(percent * 10 + 0.5)) / 10.0}},
               device_));
}

void JsonOutput::result(UpdateOutcome outcome, const VerifyRange& range, double seconds, std::uint64_t dataBytes) {
    const OutcomeWords& words = outcomeWords(outcome);
    nlohmann::ordered_json object{{"type", "result"},
                                  {"result", words.resultWord},
                                  {"exitStatus", static_cast<int>(words.exitStatus)},
                                  {"seconds", static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000.0},
                                  {"dataBytes", dataBytes}};
    if (!range.empty()) {
        object["start"] = hexNumber(range.start, 8);
        object["length"] = hexNumber(range.length, 8);
        object["crc"] = hexNumber(range.crc, 4);
    }
    write(dump(object, device_));
}

} // namespace tarvane
