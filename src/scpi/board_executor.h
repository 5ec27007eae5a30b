#pragma once
// Where board commands of remote clients run: on the thread that owns the board link. The
// CLI runs a JobQueue on its main thread; the desktop program posts to its GUI thread.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace evkit::scpi {

class BoardExecutor {
  public:
    virtual ~BoardExecutor() = default;
    // Runs `job` soon on the board's thread; callable from any thread.
    virtual void post(std::function<void()> job) = 0;
};

class JobQueue : public BoardExecutor {
  public:
    void post(std::function<void()> job) override {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
    }
    // Runs the jobs posted, waiting up to `wait` for one; returns how many ran.
    int runFor(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, wait, [this] { return !jobs_.empty(); })) return 0;
        int ran = 0;
        while (!jobs_.empty()) {
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            ++ran;
            lock.lock();
        }
        return ran;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
};

}  // namespace evkit::scpi
