#pragma once

namespace tarvane {

// Windows sleeps last a whole timer tick, 15.6 ms, unless the process asks
// for a finer timer: a 1 ms pause would last 16. Holds the system timer at a
// 1 ms period for as long as it lives.
class FineTimer {
public:
    FineTimer();
    ~FineTimer();
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    bool granted_;
};

} // namespace tarvane
