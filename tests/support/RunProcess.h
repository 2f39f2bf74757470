#pragma once

#include <string>
#include <vector>

namespace tarvane::test {

struct ProcessResult {
    int exitCode = -1;   // -1 when the program could not be run or was killed
    std::string out;
    std::string err;
    double seconds = 0;     // wall time from start to exit
    double cpuSeconds = 0;  // user + system time the program used
    double secondsAfterInterrupt = -1; // from the SIGINT of RunControl to exit; -1 when none was sent
};

// Ways a test drives a running program.
struct RunControl {
    // Once standard output holds this text, the program gets one SIGINT, as from Ctrl-C.
    std::string interruptAfter;
    // Standard error is a pseudo-terminal, as a user's is.
    bool errorOnTerminal = false;
};

// Runs a program with arguments (no shell), waits for it, and collects its
// standard output and standard error. Kills it after timeoutSeconds.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         int timeoutSeconds = 60, const RunControl& control = {});

} // namespace tarvane::test
