#include "scan/MovieReadingRun.h"

#include "formats/swf/MovieReader.h"
#include "platform/core/AsciiText.h"
#include "platform/http/HttpClient.h"
#include "scan/MovieNameRows.h"

#include <algorithm>
#include <string_view>

namespace tessaro {

namespace {

bool IsWebAddress(const QString& address)
{
    const std::string text = address.left(8).toStdString();
    return StartsWithIgnoringAsciiCase(text, "http://") || StartsWithIgnoringAsciiCase(text, "https://");
}

}  // namespace

TMovieReaderPool::TMovieReaderPool(QObject* owner, int readers)
{
    for (int i = 0; i < std::clamp(readers, 1, kMaxReadsAtOnce); ++i)
        readers_.push_back(Job::Start(
            owner, [this](JobControl&) { Work(); }, [](const JobEnd<void>&) {}));
}

TMovieReaderPool::~TMovieReaderPool()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        for (TRead& read : reads_)
            *read.cancelled = true;
    }
    wake_.notify_all();
    readers_.clear();  // stops and joins
}

std::uint64_t TMovieReaderPool::NewAsker()
{
    const std::lock_guard lock(mutex_);
    return ++lastAsker_;
}

void TMovieReaderPool::Read(std::uint64_t asker, const QString& address, const QUrl& url,
                            const std::shared_ptr<TMovieStore>& store, const Fetcher& fetch, Done done)
{
    {
        const std::lock_guard lock(mutex_);
        const auto same = std::find_if(reads_.begin(), reads_.end(), [&](const TRead& read) {
            return read.store == store && !*read.cancelled && read.address == address;
        });
        if (same != reads_.end()) {
            same->asks.push_back({asker, std::move(done)});
            return;
        }
        TRead read;
        read.address = address;
        read.url = url;
        read.store = store;
        read.fetch = fetch;
        read.asks.push_back({asker, std::move(done)});
        reads_.push_back(std::move(read));
    }
    wake_.notify_one();
}

void TMovieReaderPool::Forget(std::uint64_t asker)
{
    const std::lock_guard lock(mutex_);
    for (auto read = reads_.begin(); read != reads_.end();) {
        std::erase_if(read->asks, [&](const TAsk& ask) { return ask.asker == asker; });
        if (!read->asks.empty()) {
            ++read;
        } else if (read->running) {
            *read->cancelled = true;  // its reader drops it when the fetch returns
            ++read;
        } else {
            read = reads_.erase(read);
        }
    }
}

void TMovieReaderPool::CancelAll()
{
    const std::lock_guard lock(mutex_);
    for (auto read = reads_.begin(); read != reads_.end();) {
        read->asks.clear();
        *read->cancelled = true;
        read = read->running ? std::next(read) : reads_.erase(read);
    }
}

void TMovieReaderPool::Work()
{
    std::unique_lock lock(mutex_);
    while (true) {
        std::list<TRead>::iterator next;
        wake_.wait(lock, [&] {
            next = std::find_if(reads_.begin(), reads_.end(), [](const TRead& read) { return !read.running; });
            return stopping_ || next != reads_.end();
        });
        if (stopping_)
            return;
        next->running = true;
        const QString address = next->address;
        const QUrl url = next->url;
        const std::shared_ptr<TMovieStore> store = next->store;
        const Fetcher fetch = next->fetch;
        const std::shared_ptr<std::atomic<bool>> cancelled = next->cancelled;
        lock.unlock();
        QStringList names;
        try {
            names = ReadInto(address, url, *store, fetch, *cancelled);
        } catch (...) {
            // A read that failed names nothing; its askers still hear of it.
        }
        lock.lock();
        std::vector<TAsk> asks = std::move(next->asks);
        reads_.erase(next);
        lock.unlock();
        for (const TAsk& ask : asks)
            ask.done(names);
        lock.lock();
    }
}

QStringList TMovieReaderPool::ReadInto(const QString& address, const QUrl& url, TMovieStore& store,
                                       const Fetcher& fetch, const std::atomic<bool>& cancelled)
{
    if (const std::optional<TMovieStore::TRead> known = store.Read(address))
        return known->movieNames;
    if (store.Failed(address))
        return {};
    TFetched fetched = fetch(url, cancelled);
    if (cancelled)
        return {};
    if (!fetched.ok) {
        store.KeepFailure(address, fetched.status >= 400);
        return {};
    }
    auto bytes = std::make_shared<const std::string>(std::move(fetched.bytes));
    TMovieReading reading = ReadMovie(*bytes, &cancelled);
    if (reading.result == MovieReadResult::Cancelled)
        return {};
    if (reading.result == MovieReadResult::NotAMovie) {
        store.KeepFailure(address, true);
        return {};
    }
    // Only a whole movie from the row's own origin stands in for a later
    // fetch of its row.
    if (reading.result != MovieReadResult::Ok || !fetched.stayedOnOrigin)
        bytes.reset();
    store.Keep(address, {reading.details, reading.movieNames, reading.fileNames}, bytes);
    return reading.movieNames;
}

// What a run works on, shared with the reads it asked for: a read that ends
// after the run is gone finds it cancelled.
struct TMovieReadingRun::TState {
    struct TJob {
        QString address;
        QUrl url;
        int depth = 0;
    };

    // Asks the pool for jobs from the given one on.
    void Ask(std::size_t from, const std::shared_ptr<TState>& self);
    void Read(std::size_t index, const QStringList& names, const std::shared_ptr<TState>& self);
    // Appends, in job order, the names of every job read so far; queues the
    // new rows that are to be read.
    QList<TMovieRow> TakeReadyNames();

    QString base;
    TPlayerBases playerBases;  // grows with the rows movies name
    std::shared_ptr<TMovieStore> store;
    Reporter report;
    // Carries the reports made on the readers to the owner's thread.
    ReportChannel reports;
    TMovieReaderPool* pool = nullptr;
    Fetcher fetch;
    std::uint64_t asker = 0;

    std::mutex mutex;
    TMovieRows rows;
    std::optional<TFoundMovies> found;  // over rows, once they are given
    std::vector<TJob> jobs;
    std::vector<std::optional<QStringList>> names;  // per job, once read
    std::size_t nextNames = 0;
    int done = 0;
    bool listFull = false;
    bool finished = false;      // the finished report went
    bool finishedSeen = false;  // and the owner had it (the owner's thread only)
};

void TMovieReadingRun::TState::Ask(std::size_t from, const std::shared_ptr<TState>& self)
{
    for (std::size_t index = from; index < jobs.size(); ++index) {
        pool->Read(asker, jobs[index].address, jobs[index].url, store, fetch,
                   [self, index](const QStringList& read) { self->Read(index, read, self); });
    }
}

void TMovieReadingRun::TState::Read(std::size_t index, const QStringList& read, const std::shared_ptr<TState>& self)
{
    const std::lock_guard lock(mutex);
    if (finished || names[index].has_value())
        return;
    names[index] = read;
    ++done;
    const std::size_t asked = jobs.size();
    TReport progress;
    progress.read.append(jobs[index].address);
    progress.appended = TakeReadyNames();
    progress.listFull = listFull;
    if (!listFull)
        Ask(asked, self);
    progress.done = done;
    progress.total = static_cast<int>(jobs.size());
    reports.Post([self, progress] { self->report(progress); });
    if (static_cast<std::size_t>(done) < jobs.size() && !listFull)
        return;
    // The list is full: what is still to read could add no row.
    if (listFull)
        pool->Forget(asker);
    finished = true;
    TReport last = progress;
    last.appended.clear();
    last.read.clear();
    last.finished = true;
    reports.Post([self, last] {
        self->finishedSeen = true;
        self->report(last);
    });
}

QList<TMovieRow> TMovieReadingRun::TState::TakeReadyNames()
{
    QList<TMovieRow> appended;
    while (!listFull && nextNames < names.size() && names[nextNames].has_value()) {
        const int depth = jobs[nextNames].depth + 1;
        // A loaded movie's loads resolve where its loader's do.
        const QString from = playerBases.value(jobs[nextNames].address, base);
        const TNamedRows named = AddNamedMovies(*names[nextNames], from, *found, rows);
        listFull = named.full;
        // The rows added are the last ones, in the order of their names.
        for (qsizetype i = rows.Size() - named.added.size(); i < rows.Size(); ++i) {
            const TMovieRow& row = rows.At(i);
            playerBases.insert(row.address, from);
            appended.append(row);
            if (depth < kMaxChainDepth && IsWebAddress(row.address) &&
                jobs.size() < static_cast<std::size_t>(kMaxMoviesRead)) {
                jobs.push_back({row.address, row.url, depth});
                names.emplace_back();
            }
        }
        ++nextNames;
    }
    return appended;
}

TMovieReadingRun::TMovieReadingRun(QObject* owner, const TMovieRows& rows, const QString& baseAddress,
                                   std::shared_ptr<TMovieStore> store, Reporter report,
                                   std::shared_ptr<TMovieReaderPool> pool, Fetcher fetch, TPlayerBases playerBases)
    : pool_(std::move(pool)), asker_(pool_->NewAsker()), state_(std::make_shared<TState>())
{
    const std::lock_guard lock(state_->mutex);
    state_->base = baseAddress;
    state_->playerBases = std::move(playerBases);
    state_->store = std::move(store);
    state_->report = std::move(report);
    state_->reports = ReportChannel(owner);
    state_->pool = pool_.get();
    state_->fetch = std::move(fetch);
    state_->asker = asker_;
    state_->rows = rows;
    for (const TMovieRow& row : rows)
        if (IsWebAddress(row.address) && state_->jobs.size() < static_cast<std::size_t>(kMaxMoviesRead))
            state_->jobs.push_back({row.address, row.url, 0});
    state_->found.emplace(state_->rows, TFoundIn::Movie);
    state_->names.resize(state_->jobs.size());
    state_->finished = state_->jobs.empty();
    state_->finishedSeen = state_->finished;
    state_->Ask(0, state_);
}

TMovieReadingRun::~TMovieReadingRun()
{
    Cancel();
}

void TMovieReadingRun::Cancel()
{
    {
        const std::lock_guard lock(state_->mutex);
        // What the readers reported and the owner has not yet seen is dropped.
        state_->reports.Close();
        if (!state_->finishedSeen) {
            state_->finished = true;
            state_->finishedSeen = true;
            TReport last;
            last.done = state_->done;
            last.total = static_cast<int>(state_->jobs.size());
            last.finished = true;
            state_->report(last);
        }
    }
    pool_->Forget(asker_);
}

bool TMovieReadingRun::HasWebMovies(const TMovieRows& rows)
{
    return std::any_of(rows.begin(), rows.end(), [](const TMovieRow& row) { return IsWebAddress(row.address); });
}

TMovieReadingRun::TFetched TMovieReadingRun::FetchWebMovie(const QUrl& address, const std::atomic<bool>& cancelled,
                                                           PageNetwork& page)
{
    TFetched fetched;
    if (cancelled)
        return fetched;
    HttpRequest request;
    request.address = address;
    request.cancel = &cancelled;  // a new scan does not wait for a slow server
    request.limits.reach = page.Reach(&cancelled);
    HttpFetchResult result = FetchWholeBody(request, kMaxMovieBytes);
    fetched.ok = result.ok;
    fetched.status = result.status;
    fetched.bytes = std::move(result.body);
    fetched.stayedOnOrigin = result.stayedOnOrigin;
    return fetched;
}

TMovieReadingRun::Fetcher TMovieReadingRun::WebMovieFetcher(const QString& pageAddress)
{
    auto page = pageAddress.isEmpty() ? std::make_shared<PageNetwork>(HttpReach::PublicOnly)
                                      : std::make_shared<PageNetwork>(HttpAddress(pageAddress));
    return [page](const QUrl& address, const std::atomic<bool>& cancelled) {
        return FetchWebMovie(address, cancelled, *page);
    };
}

}  // namespace tessaro
