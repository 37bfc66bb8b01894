#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tessaro {

// Runs work(0) .. work(count - 1) on worker threads, ahead of one consumer
// that takes the results in index order. At most `window` results are
// claimed beyond the one the consumer waits for, so memory stays bounded
// however fast the workers run. Workers claim a few indices at a time, so
// threads wake once per batch rather than once per item. Dropping it stops
// the workers after the batch each is on and joins them.
template <typename T>
class OrderedReadAhead {
public:
    OrderedReadAhead(std::size_t count, std::function<T(std::size_t)> work, int threads, std::size_t window)
        : work_(std::move(work)), count_(count), window_(window < 1 ? 1 : window)
    {
        for (int i = 0; i < (threads < 1 ? 1 : threads); ++i)
            workers_.emplace_back([this] { Work(); });
    }

    ~OrderedReadAhead()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        room_.notify_all();
        workers_.clear();  // joins
    }

    OrderedReadAhead(const OrderedReadAhead&) = delete;
    OrderedReadAhead& operator=(const OrderedReadAhead&) = delete;

    // The next result in index order; false after the last. Rethrows what
    // work threw for that index.
    bool Next(T& out)
    {
        std::unique_lock lock(mutex_);
        if (taken_ >= count_)
            return false;
        if (slots_.empty() || !slots_.front().done) {
            consumerWaiting_ = true;
            ready_.wait(lock, [&] { return !slots_.empty() && slots_.front().done; });
            consumerWaiting_ = false;
        }
        Slot slot = std::move(slots_.front());
        slots_.pop_front();
        ++taken_;
        const bool wake = workersWaiting_ > 0 && HasRoom();
        lock.unlock();
        if (wake)
            room_.notify_one();
        if (slot.error)
            std::rethrow_exception(slot.error);
        out = std::move(slot.value);
        return true;
    }

private:
    struct Slot {
        bool done = false;
        T value{};
        std::exception_ptr error;
    };

    static constexpr std::size_t kBatch = 16;

    // Room for a whole batch, or for all that is left: a worker waits for
    // it, so that a consumer slower than the workers wakes one per batch,
    // not one per result.
    bool HasRoom() const
    {
        const std::size_t room = taken_ + window_ - next_;
        const std::size_t left = count_ - next_;
        return left > 0 && room >= std::min({kBatch, window_, left});
    }

    void Work()
    {
        std::unique_lock lock(mutex_);
        std::vector<Slot> results;
        while (true) {
            ++workersWaiting_;
            room_.wait(lock, [&] { return stopping_ || next_ >= count_ || HasRoom(); });
            --workersWaiting_;
            if (stopping_ || next_ >= count_)
                return;
            const std::size_t first = next_;
            next_ = std::min({count_, first + kBatch, taken_ + window_});
            // Claims come in index order, so these slots are the batch's.
            slots_.resize(slots_.size() + (next_ - first));
            results.assign(next_ - first, Slot{});
            lock.unlock();
            for (std::size_t i = 0; i < results.size(); ++i) {
                try {
                    results[i].value = work_(first + i);
                } catch (...) {
                    results[i].error = std::current_exception();
                }
                results[i].done = true;
            }
            lock.lock();
            for (std::size_t i = 0; i < results.size(); ++i)
                slots_[first + i - taken_] = std::move(results[i]);
            if (consumerWaiting_ && slots_.front().done)
                ready_.notify_one();
        }
    }

    const std::function<T(std::size_t)> work_;
    const std::size_t count_;
    const std::size_t window_;
    std::mutex mutex_;
    std::condition_variable ready_;  // a slot was filled
    std::condition_variable room_;   // the consumer took one, or stopping
    std::deque<Slot> slots_;         // results of indices taken_ .. next_ - 1
    std::size_t next_ = 0;           // the next index a worker claims
    std::size_t taken_ = 0;          // the next index the consumer takes
    int workersWaiting_ = 0;
    bool consumerWaiting_ = false;
    bool stopping_ = false;
    std::vector<std::jthread> workers_;  // last: joined before the rest goes
};

}  // namespace tessaro
