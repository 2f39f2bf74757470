#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace tarvane {

// The window's message loop where no GUI runs (the terminal tool, tests):
// a queue of tasks any thread may post to, and periodic timers, all run on
// the thread that calls run(). Like a window's timer, a timer that falls
// behind (during a blocking pause) ticks once, not once per missed period.
class EventLoop {
public:
    using Task = std::function<void()>;
    using Clock = std::chrono::steady_clock;

    // Thread-safe.
    void post(Task task);
    void quit();

    // Loop thread only.
    void startTimer(int id, int periodMs, Task tick);
    void killTimer(int id);
    // Runs until quit() or until `limit` has passed; false on the limit.
    bool run(std::chrono::milliseconds limit = std::chrono::hours(24 * 365));

private:
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point next;
        Task tick;
    };

    bool fireDueTimers();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool quit_ = false;
    std::map<int, Timer> timers_;
};

} // namespace tarvane
