#include "cli/StopSignal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace tarvane {
namespace {

// Lock-free, so a signal handler may store to it.
std::atomic<bool> stopRequested{false};
std::atomic<bool> stopAgain{false};
std::atomic<int> signalsSeen{0};
std::atomic<int> signalsCaught{1};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

void noteStopSignal() {
    const int seen = signalsSeen.fetch_add(1) + 1;
    if (seen > 1 && seen <= signalsCaught.load()) stopAgain.store(true);
    stopRequested.store(true);
}

#ifdef _WIN32
BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    // The console's Ctrl-C never ends the process: the update says it stopped.
    noteStopSignal();
    return TRUE;
}
#else
extern "C" void onStopSignal(int signal) {
    noteStopSignal();
    // The next one ends the process at once, for a user who cannot wait.
    if (signalsSeen.load() >= signalsCaught.load()) std::signal(signal, SIG_DFL);
}
#endif

} // namespace

const std::atomic<bool>& catchStopSignals(int caught) {
    signalsCaught.store(caught);
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = 0;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed standard output or a closed terminal must not end an update
    // half-way: writes to them fail and are dropped, and the update runs on.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    sigaction(SIGHUP, &ignore, nullptr);
#endif
    return stopRequested;
}

const std::atomic<bool>& stopRepeated() {
    return stopAgain;
}

} // namespace tarvane
