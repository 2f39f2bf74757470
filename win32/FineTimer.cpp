#include "win32/FineTimer.h"

#include <windows.h>
#include <timeapi.h>

namespace tarvane {
namespace {

constexpr UINT kPeriodMs = 1;

} // namespace

FineTimer::FineTimer() : granted_(timeBeginPeriod(kPeriodMs) == TIMERR_NOERROR) {}

FineTimer::~FineTimer() {
    if (granted_) timeEndPeriod(kPeriodMs);
}

} // namespace tarvane
