#pragma once

#include "cli/BoardRun.h"
#include "cli/UpdateOptions.h"
#include "report/ReportFile.h"

#include <atomic>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace tarvane {

class TraceFile;
class TraceRecorder;

// The trace and support report files of one command's boards (--trace,
// --report): opened before anything is sent, fed by each board's port, and
// finished once every board has ended.
class BoardFiles {
public:
    // Opens each target's files and wraps its opener to record into them;
    // false, with the reason on `err`, when one cannot be written. Opening a
    // pipe waits for its reader; a stop cuts that short, and the boards then
    // end interrupted, as they would from any other wait.
    bool open(const UpdateOptions& options, std::vector<BoardTarget>& targets, bool numbered,
              const std::atomic<bool>& stop, std::ostream& err);
    // Ends every trace and writes every report, `runs` in the targets' order;
    // what fails is said on `err`.
    void finish(const UpdateOptions& options, const std::vector<std::unique_ptr<BoardRun>>& runs, std::ostream& err,
                const std::atomic<bool>& stop);

private:
    // A board's support report: its file, opened before anything is sent,
    // and the recorder of its connection.
    struct Report {
        std::string path;
        FilePtr file;
        std::shared_ptr<TraceRecorder> recorder;
    };

    bool traceBoard(const UpdateOptions& options, BoardTarget& target, std::size_t index, bool numbered,
                    std::ostream& err);
    bool reportBoard(const UpdateOptions& options, BoardTarget& target, std::size_t index, bool numbered,
                     std::ostream& err);

    std::vector<std::shared_ptr<TraceFile>> traces_;
    std::vector<Report> reports_;
};

} // namespace tarvane
