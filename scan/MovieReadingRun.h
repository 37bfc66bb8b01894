#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scan/FoundMovies.h"
#include "platform/http/NetworkReach.h"
#include "scan/MovieStore.h"

namespace tessaro {

// After a page scan: fetches each web movie of the list once, reads it, and
// appends the movies it names, resolved as a browser's Flash player resolved
// them: against the row's player base when the scan gave one, else the
// page's base address; those are fetched and read in turn, against the base
// of the movie that named them.
// Appended rows come in the order of the movies that name them, whatever
// order the fetches end in.
class TMovieReadingRun {
public:
    static constexpr int kMaxFetchesAtOnce = 4;
    static constexpr int kMaxMoviesRead = 1000;  // fetches of one run
    // Links from the page: a movie the page lists is 0, one it names 1, ...;
    // movies at this depth are listed but not fetched.
    static constexpr int kMaxChainDepth = 3;
    // One fetched movie; a larger one is neither read nor kept (its download
    // fetches it with the download's own bound).
    static constexpr std::size_t kMaxMovieBytes = std::size_t(64) << 20;

    struct TFetched {
        bool ok = false;
        std::string bytes;
        // Every hop stayed on the address's own origin: only then are the
        // bytes kept for the row (the names are read either way).
        bool stayedOnOrigin = true;
    };
    // Fetches one address on a worker; returns early once cancelled is set.
    using Fetcher = std::function<TFetched(const std::string& url, const std::atomic<bool>& cancelled)>;

    struct TReport {
        QStringList appended;   // rows to add after the ones shown
        int done = 0;           // movies fetched and read so far
        int total = 0;          // movies to fetch, growing as movies name more
        bool finished = false;  // the last report of the run (also after Cancel)
    };
    // Called on a worker, one call at a time, whenever done or the rows change.
    using Reporter = std::function<void(const TReport&)>;

    // rows: the page scan's list; every web address in it is fetched, unless
    // the store already holds what reading it gave. Without a web address
    // (HasWebMovies) the run does nothing and reports nothing.
    TMovieReadingRun(const QStringList& rows, const QString& baseAddress, std::shared_ptr<TMovieStore> store,
                     Reporter report, Fetcher fetch = WebMovieFetcher(QString()), TPlayerBases playerBases = {});
    // Cancels and waits for the workers.
    ~TMovieReadingRun();
    TMovieReadingRun(const TMovieReadingRun&) = delete;
    TMovieReadingRun& operator=(const TMovieReadingRun&) = delete;

    // Ends the run soon: no report but the finished one follows.
    void Cancel();

    // Whether the list holds an address the run would fetch.
    static bool HasWebMovies(const QStringList& rows);
    // The program's HTTP client, with the download's rules and limits,
    // connecting only where the page lets the program reach.
    static TFetched FetchWebMovie(const std::string& url, const std::atomic<bool>& cancelled, PageNetwork& page);
    // FetchWebMovie for the movies of the page at pageAddress (empty: a page
    // on the internet): public addresses only, unless the page itself came
    // from the user's own network (found on the first fetch, off the window's thread).
    static Fetcher WebMovieFetcher(const QString& pageAddress);

private:
    struct Job {
        QString address;
        int depth = 0;
    };

    void Work();
    QStringList ReadOne(const Job& job);
    // Appends, in job order, the names of every job read so far; queues the
    // new rows that are to be read.
    QStringList TakeReadyNames();

    const QString base_;
    TPlayerBases playerBases_;  // grows with the rows movies name
    const std::shared_ptr<TMovieStore> store_;
    const Reporter report_;
    const Fetcher fetch_;

    std::mutex mutex_;
    std::condition_variable wake_;
    QStringList rows_;
    TFoundMovies found_;
    std::vector<Job> jobs_;
    std::vector<std::optional<QStringList>> names_;  // per job, once read
    std::size_t nextJob_ = 0;
    std::size_t nextNames_ = 0;
    int done_ = 0;
    int workersLeft_ = 0;
    bool finished_ = false;
    std::atomic<bool> cancelled_{false};
    std::vector<std::jthread> workers_;
};

}  // namespace tessaro
