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
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    stopRequested.store(true);
    return TRUE;
}
#else
extern "C" void onStopSignal(int) {
    stopRequested.store(true);
}
#endif

} // namespace

const std::atomic<bool>& catchStopSignals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    // A second Ctrl-C ends the process at once, for a user who cannot wait.
    action.sa_flags = static_cast<int>(SA_RESETHAND);
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

} // namespace tarvane
