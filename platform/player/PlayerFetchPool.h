#pragma once

#include "platform/core/Job.h"
#include "platform/player/PlayerSourceFetch.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tessaro {

// The workers that read what the player asks for: a fixed number of threads
// started once, and a bounded line of fetches waiting for one of them. A movie
// that asks for a thousand loads at once gets kWorkers running and
// kMaxWaiting waiting; the rest are refused at once. Its owner joins the
// workers by destroying it; every fetch watches its own cancel flag.
class PlayerFetchPool {
public:
    static constexpr int kWorkers = 4;
    static constexpr std::size_t kMaxWaiting = 64;

    // Called once per accepted fetch, on the owner's thread, unless the pool
    // was destroyed first.
    using Done = std::function<void(PlayerFetchResult)>;

    // owner: the object whose thread takes every Done call.
    explicit PlayerFetchPool(QObject* owner);
    // Cancels everything, drops the answers not yet delivered and waits for
    // the workers. Only on the owner's thread.
    ~PlayerFetchPool();
    PlayerFetchPool(const PlayerFetchPool&) = delete;
    PlayerFetchPool& operator=(const PlayerFetchPool&) = delete;

    // False, without calling done, when kMaxWaiting fetches already wait.
    bool Submit(PlayerSource source, Done done);

    // Ends the fetches of that movie (PlayerSource::movie): waiting ones fail
    // at once, running ones as soon as their read notices. The player's own
    // files (movie 0) are never ended.
    void CancelMovie(std::uint64_t movie);

private:
    struct Fetch {
        PlayerSource source;
        Done done;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::deque<Fetch> waiting_;
    std::vector<Fetch*> running_;
    ReportChannel answers_;
    std::vector<Job> workers_;
};

}  // namespace tessaro
