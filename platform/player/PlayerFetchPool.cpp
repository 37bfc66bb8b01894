#include "platform/player/PlayerFetchPool.h"

#include <algorithm>
#include <exception>

namespace tessaro {

namespace {

PlayerFetchResult Cancelled()
{
    PlayerFetchResult result;
    result.error = "cancelled";
    return result;
}

}  // namespace

PlayerFetchPool::PlayerFetchPool(QObject* owner) : answers_(owner)
{
    for (int i = 0; i < kWorkers; ++i)
        workers_.push_back(Job::Start(
            owner, [this](JobControl&) { Work(); }, [](const JobEnd<void>&) {}));
}

PlayerFetchPool::~PlayerFetchPool()
{
    answers_.Close();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
        for (Fetch* fetch : running_)
            *fetch->cancelled = true;
    }
    wake_.notify_all();
    workers_.clear();  // stops and joins
}

bool PlayerFetchPool::Submit(PlayerSource source, Done done)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || waiting_.size() >= kMaxWaiting)
            return false;
        waiting_.push_back({std::move(source), std::move(done), std::make_shared<std::atomic<bool>>(false)});
    }
    wake_.notify_one();
    return true;
}

void PlayerFetchPool::CancelMovie(std::uint64_t movie)
{
    // 0 is no movie but the player's own files: before the first movie is
    // shown, showing one must not cancel the player still loading.
    if (movie == 0)
        return;
    std::deque<Fetch> dropped;
    {
        std::lock_guard lock(mutex_);
        for (Fetch* fetch : running_)
            if (fetch->source.movie == movie)
                *fetch->cancelled = true;
        const auto kept = std::stable_partition(waiting_.begin(), waiting_.end(),
                                                [movie](const Fetch& fetch) { return fetch.source.movie != movie; });
        std::move(kept, waiting_.end(), std::back_inserter(dropped));
        waiting_.erase(kept, waiting_.end());
    }
    for (Fetch& fetch : dropped)
        answers_.Post([done = std::move(fetch.done)] { done(Cancelled()); });
}

void PlayerFetchPool::Work()
{
    for (;;) {
        Fetch fetch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_)
                return;
            fetch = std::move(waiting_.front());
            waiting_.pop_front();
            running_.push_back(&fetch);
        }
        PlayerFetchResult result;
        try {
            result = FetchPlayerSource(fetch.source, *fetch.cancelled);
        } catch (const std::exception& error) {
            result.error = error.what();  // the player hears of it like of any failed fetch
        } catch (...) {
            result.error = "the fetch failed";
        }
        {
            std::lock_guard lock(mutex_);
            running_.erase(std::find(running_.begin(), running_.end(), &fetch));
        }
        answers_.Post([done = std::move(fetch.done), result = *fetch.cancelled ? Cancelled() : std::move(result)] {
            done(result);
        });
    }
}

}  // namespace tessaro
