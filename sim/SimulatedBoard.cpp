#include "sim/SimulatedBoard.h"

#include "link/Protocol.h"
#include "sim/BoardTiming.h"

#include <algorithm>

namespace tarvane {

namespace {

// Longest answer (verify: 3 bytes + CRC) fully escaped, with SOH and EOT.
constexpr std::size_t kAnswerFrameCapacity = 2 * (3 + 2) + 2;

std::uint32_t readLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// Frames an answer; with `corrupt` the CRC bytes are falsified after the fact
// so the frame is well formed but fails its check.
std::size_t frameAnswer(const std::uint8_t* bytes, std::size_t n, bool corrupt,
                        std::array<std::uint8_t, kAnswerFrameCapacity>& frame) {
    std::array<std::uint8_t, 3 + 2> body{};
    std::copy_n(bytes, n, body.begin());
    std::size_t length = encodeFrame(body.data(), n, frame.data(), frame.size());
    if (!corrupt) return length;

    body[n] ^= 0xFF;
    length = 0;
    frame[length++] = SOH;
    for (std::size_t i = 0; i < n + 2; ++i) {
        if (needsEscape(body[i])) frame[length++] = DLE;
        frame[length++] = body[i];
    }
    frame[length++] = EOT;
    return length;
}

} // namespace

SimulatedBoard::SimulatedBoard(SimFaults faults) : faults_(std::move(faults)), startTime_(Clock::now()) {}

void SimulatedBoard::connect() {
    std::lock_guard lock(mutex_);
    decoder_.reset();
    queue_.clear();
    flash_.resetAddressing();
    closed_ = false;
    connectionRequests_ = 0;
    ++connections_;
    lastIn_ = lastOut_ = busyUntil_ = Clock::time_point{};
}

bool SimulatedBoard::connectionClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

bool SimulatedBoard::readingStopped() const {
    std::lock_guard lock(mutex_);
    return faults_.stopReadingAfter != 0 && requests_ >= faults_.stopReadingAfter;
}

SimulatedBoard::Clock::time_point SimulatedBoard::receiveReport(ReportView report, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (closed_) return now;
    Clock::time_point at = now;
    if (faults_.usbTiming) {
        // The last frame boundary the bus has shown: the end of the last report
        // in, or of the last answer report out if that came later and is past.
        const Clock::time_point boundary = std::max(lastIn_, lastOut_ <= now ? lastOut_ : lastIn_);
        at = (now <= boundary + kFrameSlack ? boundary : now) + kReportInterval;
    }
    lastIn_ = at;

    decoder_.decodeBytes(report.data(), report.size());
    if (const auto frame = decoder_.take(); !frame.empty()) {
        // Bytes after EOT in the same report are padding and already dropped.
        handleRequest(frame.data(), frame.size(), at);
    }
    return at;
}

void SimulatedBoard::handleRequest(const std::uint8_t* payload, std::size_t length, Clock::time_point at) {
    const std::uint8_t command = payload[0];
    ++requests_;
    ++perCommand_[command];
    ++connectionRequests_;
    record(command, length, at, handleAllowed(payload, length, at));
}

SimOutcome SimulatedBoard::handleAllowed(const std::uint8_t* payload, std::size_t length, Clock::time_point at) {
    const std::uint8_t command = payload[0];
    if (faults_.closeAfter != 0 && connectionRequests_ >= faults_.closeAfter) {
        closed_ = true;
        queue_.clear();
        return SimOutcome::Closed;
    }
    if (faults_.dropEvery != 0 && requests_ % faults_.dropEvery == 0) return SimOutcome::Dropped;
    const auto from = faults_.answerFrom.find(command);
    if (from != faults_.answerFrom.end() && perCommand_[command] < from->second) return SimOutcome::NotYet;

    Answer answer;
    Clock::duration work{};
    SimOutcome outcome = execute(payload, length, answer, work);

    // Requests are carried out one after another, so a re-send that arrives
    // while the board is still busy waits its turn.
    const Clock::time_point start = std::max(at, busyUntil_);
    busyUntil_ = faults_.usbTiming ? start + work : start;
    if (outcome != SimOutcome::Answered) return outcome;
    if (faults_.silent.contains(command)) return SimOutcome::Silent;

    if (command == CMD_VERIFY && faults_.wrongVerifyCrc) {
        answer.bytes[1] ^= 0xFF;
        answer.bytes[2] ^= 0xFF;
    }
    if (faults_.unknownAnswer.contains(command)) answer.bytes[0] = kUnknownAnswerCommand;
    Clock::time_point due = busyUntil_ + faults_.answerDelay;
    const auto late = faults_.lateAnswer.find(command);
    if (late != faults_.lateAnswer.end() && late->second.request == perCommand_[command]) due += late->second.delay;
    queueAnswer(answer, due);
    if (faults_.answerTwice) queueAnswer(answer, due);
    return outcome;
}

SimOutcome SimulatedBoard::execute(const std::uint8_t* payload, std::size_t length, Answer& answer,
                                   Clock::duration& work) {
    const std::uint8_t command = payload[0];
    answer.bytes[0] = command;
    answer.length = 1;
    switch (command) {
    case CMD_QUERY:
        answer.bytes[1] = kVersionMajor;
        answer.bytes[2] = kVersionMinor;
        answer.length = 3;
        return SimOutcome::Answered;
    case CMD_ERASE:
        flash_.erase();
        flash_.resetAddressing();
        work = kEraseTime;
        return SimOutcome::Answered;
    case CMD_PROGRAM: {
        // A batch with one bad record is refused whole, so a re-send can
        // never leave half a batch behind.
        if (!BoardFlash::recordsValid(payload + 1, length - 1)) return SimOutcome::Rejected;
        const std::size_t words = flash_.program(payload + 1, length - 1);
        work = kWordProgramTime * static_cast<long>(words);
        return SimOutcome::Answered;
    }
    case CMD_VERIFY: {
        if (length < 9) return SimOutcome::Rejected;
        const std::uint32_t start = readLe32(payload + 1);
        const std::uint32_t count = readLe32(payload + 5);
        if (count > kMaxVerifyLength) return SimOutcome::Rejected;
        const std::uint16_t crc = flash_.crc(start, count);
        answer.bytes[1] = static_cast<std::uint8_t>(crc & 0xFF);
        answer.bytes[2] = static_cast<std::uint8_t>(crc >> 8);
        answer.length = 3;
        work = std::chrono::duration_cast<Clock::duration>(kCrcTimePerByte * count);
        return SimOutcome::Answered;
    }
    default:
        // The start-application request and unknown commands get no answer.
        return SimOutcome::Unanswered;
    }
}

void SimulatedBoard::queueAnswer(const Answer& answer, Clock::time_point due) {
    ++answers_;
    const bool corrupt = faults_.corruptCrcEvery != 0 && answers_ % faults_.corruptCrcEvery == 0;
    std::array<std::uint8_t, kAnswerFrameCapacity> frame{};
    const std::size_t length = frameAnswer(answer.bytes.data(), answer.length, corrupt, frame);

    for (std::size_t pos = 0; pos < length; pos += kReportSize) {
        QueuedReport report;
        std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(pos), std::min(kReportSize, length - pos),
                    report.bytes.begin());
        report.due = std::max(due, lastOut_);
        if (faults_.usbTiming) report.due += kReportInterval;
        lastOut_ = report.due;
        queue_.push_back(report);
    }
}

void SimulatedBoard::record(std::uint8_t command, std::size_t length, Clock::time_point at, SimOutcome outcome) {
    const SimRequest request{at, command, length, outcome};
    if (log_.size() < kMaxLoggedRequests) log_.push_back(request);
    if (observer_) observer_(request);
}

bool SimulatedBoard::takeReport(ReportBuffer report) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return false;
    std::copy(queue_.front().bytes.begin(), queue_.front().bytes.end(), report.begin());
    queue_.pop_front();
    return true;
}

bool SimulatedBoard::takeReport(ReportBuffer report, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (queue_.empty() || queue_.front().due > now) return false;
    std::copy(queue_.front().bytes.begin(), queue_.front().bytes.end(), report.begin());
    queue_.pop_front();
    return true;
}

std::optional<SimulatedBoard::Clock::time_point> SimulatedBoard::nextReportTime() const {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    return queue_.front().due;
}

std::vector<std::uint8_t> SimulatedBoard::flash() const {
    std::lock_guard lock(mutex_);
    return flash_.bytes();
}

std::uint8_t SimulatedBoard::flashByte(std::uint32_t address) const {
    std::lock_guard lock(mutex_);
    return flash_.byteAt(address);
}

std::uint16_t SimulatedBoard::flashCrc(std::uint32_t start, std::uint32_t length) const {
    std::lock_guard lock(mutex_);
    return flash_.crc(start, length);
}

std::vector<SimRequest> SimulatedBoard::requestLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::uint32_t SimulatedBoard::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::uint32_t SimulatedBoard::requestCount(std::uint8_t command) const {
    std::lock_guard lock(mutex_);
    return perCommand_[command];
}

std::uint32_t SimulatedBoard::answerCount() const {
    std::lock_guard lock(mutex_);
    return answers_;
}

std::uint32_t SimulatedBoard::connectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void SimulatedBoard::setRequestObserver(std::function<void(const SimRequest&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

} // namespace tarvane
