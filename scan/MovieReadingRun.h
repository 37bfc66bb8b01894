#pragma once

#include "platform/core/Job.h"
#include "platform/http/NetworkReach.h"
#include "scan/FoundMovies.h"
#include "scan/MovieStore.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

// The program's readers of web movies, shared by every reading run: at most
// kMaxReadsAtOnce movies are fetched and read at once, whatever the number of
// runs asking; an address asked for while it is read (or waits to be) is
// read once, for every asker. Its owner (the window) joins the readers by
// destroying it; every wait of a read watches the read's cancel flag.
class TMovieReaderPool {
public:
    static constexpr int kMaxReadsAtOnce = 4;

    struct TFetched {
        bool ok = false;
        std::string bytes;
        // Every hop stayed on the address's own origin: only then are the
        // bytes kept for the row (the names are read either way).
        bool stayedOnOrigin = true;
        long status = 0;  // the HTTP answer's; 0 when none came
    };
    // Fetches one address on a reader; returns early once cancelled is set.
    using Fetcher = std::function<TFetched(const QUrl& address, const std::atomic<bool>& cancelled)>;
    // Called on a reader with the names the movie gave (none when it was no
    // movie, or could not be fetched).
    using Done = std::function<void(const QStringList& names)>;

    // The readers are jobs of owner's; the pool is made and destroyed on its thread.
    // readers: how many read at once, 1 to kMaxReadsAtOnce.
    explicit TMovieReaderPool(QObject* owner, int readers = kMaxReadsAtOnce);
    // Cancels every read and waits for the readers.
    ~TMovieReaderPool();
    TMovieReaderPool(const TMovieReaderPool&) = delete;
    TMovieReaderPool& operator=(const TMovieReaderPool&) = delete;

    // A number of one's own to ask with, for Forget.
    std::uint64_t NewAsker();
    // Reads the movie of the row with address (the store's key) and url
    // (what is fetched) into store, unless store already has it, and calls
    // done with its names. A store is one page's, so an address asked for
    // again for it is fetched as the first asker's fetch does.
    void Read(std::uint64_t asker, const QString& address, const QUrl& url, const std::shared_ptr<TMovieStore>& store,
              const Fetcher& fetch, Done done);
    // Drops what asker asked; a read that no one else waits for is cancelled.
    // A done call under way may still end after it.
    void Forget(std::uint64_t asker);
    void CancelAll();

private:
    struct TAsk {
        std::uint64_t asker = 0;
        Done done;
    };
    struct TRead {
        QString address;
        QUrl url;
        std::shared_ptr<TMovieStore> store;
        Fetcher fetch;
        std::vector<TAsk> asks;
        bool running = false;
        std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
    };

    void Work();
    static QStringList ReadInto(const QString& address, const QUrl& url, TMovieStore& store, const Fetcher& fetch,
                                const std::atomic<bool>& cancelled);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::list<TRead> reads_;  // waiting and under way, in the order asked
    std::uint64_t lastAsker_ = 0;
    bool stopping_ = false;
    std::vector<Job> readers_;
};

// After a page scan: has each web movie of the list read once, and appends
// the movies it names, resolved as a browser's Flash player resolved them:
// against the row's player base when the scan gave one, else the page's base
// address; those are read in turn, against the base of the movie that named
// them. The reads run on the program's reader pool.
// Appended rows come in the order of the movies that name them, whatever
// order the reads end in; together with the given rows they stop at
// kMaxPageRows, and the run ends there.
class TMovieReadingRun {
public:
    static constexpr int kMaxMoviesRead = 1000;  // reads of one run
    // Links from the page: a movie the page lists is 0, one it names 1, ...;
    // movies at this depth are listed but not fetched.
    static constexpr int kMaxChainDepth = 3;
    // One fetched movie; a larger one is neither read nor kept (its download
    // fetches it with the download's own bound).
    static constexpr std::size_t kMaxMovieBytes = std::size_t(64) << 20;

    using TFetched = TMovieReaderPool::TFetched;
    using Fetcher = TMovieReaderPool::Fetcher;

    struct TReport {
        QList<TMovieRow> appended;  // rows to add after the ones shown, found in a movie
        QStringList read;           // rows whose reading ended since the last report
        int done = 0;               // movies read so far
        int total = 0;              // movies to read, growing as movies name more
        bool finished = false;      // the last report of the run (also after Cancel)
        bool listFull = false;      // names were left out: the rows reached kMaxPageRows
    };
    // Called on the owner's thread, in order, whenever done or the rows
    // change; the finished report of a cancelled run inside Cancel, and
    // nothing after Cancel returned.
    using Reporter = std::function<void(const TReport&)>;

    // rows: the page scan's list; every web row in it is read, unless the
    // store already holds what reading it gave. Without a web address
    // (HasWebMovies) the run does nothing and reports nothing.
    // The run belongs to owner's thread: it is made, cancelled and destroyed there.
    TMovieReadingRun(QObject* owner, const TMovieRows& rows, const QString& baseAddress,
                     std::shared_ptr<TMovieStore> store, Reporter report, std::shared_ptr<TMovieReaderPool> pool,
                     Fetcher fetch, TPlayerBases playerBases = {});
    // Cancels.
    ~TMovieReadingRun();
    TMovieReadingRun(const TMovieReadingRun&) = delete;
    TMovieReadingRun& operator=(const TMovieReadingRun&) = delete;

    // Ends the run: the finished report follows at once, and no other.
    void Cancel();

    // Whether the list holds an address the run would fetch.
    static bool HasWebMovies(const TMovieRows& rows);
    // The program's HTTP client, with the download's rules and limits,
    // connecting only where the page lets the program reach.
    static TFetched FetchWebMovie(const QUrl& address, const std::atomic<bool>& cancelled, PageNetwork& page);
    // FetchWebMovie for the movies of the page at pageAddress (empty: a page
    // on the internet): public addresses only, unless the page itself came
    // from the user's own network (found on the first fetch, off the window's thread).
    static Fetcher WebMovieFetcher(const QString& pageAddress);

private:
    struct TState;

    const std::shared_ptr<TMovieReaderPool> pool_;
    const std::uint64_t asker_;
    const std::shared_ptr<TState> state_;
};

}  // namespace tessaro
