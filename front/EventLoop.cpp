#include "front/EventLoop.h"

#include <algorithm>

namespace tarvane {

void EventLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void EventLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
}

void EventLoop::startTimer(int id, int periodMs, Task tick) {
    const auto period = std::chrono::milliseconds(std::max(periodMs, 1));
    timers_[id] = Timer{period, Clock::now() + period, std::move(tick)};
}

void EventLoop::killTimer(int id) {
    timers_.erase(id);
}

// Fires each due timer once; a handler may start or kill timers meanwhile.
bool EventLoop::fireDueTimers() {
    bool fired = false;
    for (auto it = timers_.begin(); it != timers_.end();) {
        const int id = it->first;
        const auto now = Clock::now();
        if (it->second.next <= now) {
            it->second.next = now + it->second.period;
            Task tick = it->second.tick;
            tick();
            fired = true;
            it = timers_.upper_bound(id);
        } else {
            ++it;
        }
    }
    return fired;
}

bool EventLoop::run(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            auto wakeAt = deadline;
            for (const auto& [id, timer] : timers_) wakeAt = std::min(wakeAt, timer.next);
            wake_.wait_until(lock, wakeAt, [&] { return quit_ || !tasks_.empty() || Clock::now() >= wakeAt; });
            if (quit_) {
                quit_ = false;
                return true;
            }
            if (!tasks_.empty()) {
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
        }
        if (task) task();
        fireDueTimers();
        if (Clock::now() >= deadline) return false;
    }
}

} // namespace tarvane
