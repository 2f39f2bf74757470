#include "usb/BackgroundThreads.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tarvane {
namespace {

class Keeper {
public:
    Keeper() = default;
    Keeper(const Keeper&) = delete;
    Keeper& operator=(const Keeper&) = delete;
    ~Keeper() {
        for (Entry& e : threads_) e.thread.join();
    }

    void add(std::thread thread, std::function<bool()> finished) {
        const std::lock_guard lock(mutex_);
        std::erase_if(threads_, [](Entry& e) {
            if (!e.finished()) return false;
            e.thread.join();
            return true;
        });
        threads_.push_back({std::move(thread), std::move(finished)});
    }

private:
    struct Entry {
        std::thread thread;
        std::function<bool()> finished;
    };
    std::mutex mutex_;
    std::vector<Entry> threads_;
};

} // namespace

void finishInBackground(std::thread thread, std::function<bool()> finished) {
    // Made on first use, after whatever the threads use, so it ends before that.
    static Keeper keeper;
    keeper.add(std::move(thread), std::move(finished));
}

} // namespace tarvane
