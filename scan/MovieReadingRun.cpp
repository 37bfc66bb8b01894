#include "scan/MovieReadingRun.h"

#include <algorithm>
#include <string_view>

#include "platform/core/AsciiText.h"
#include "platform/http/HttpClient.h"
#include "platform/swf/MovieReader.h"
#include "scan/MovieReferences.h"

namespace tessaro {

namespace {

bool IsWebAddress(const QString& address)
{
    const std::string text = address.left(8).toStdString();
    return StartsWithIgnoringAsciiCase(text, "http://") || StartsWithIgnoringAsciiCase(text, "https://");
}

}  // namespace

TMovieReadingRun::TMovieReadingRun(const QStringList& rows, const QString& baseAddress,
                                   std::shared_ptr<TMovieStore> store, Reporter report, Fetcher fetch,
                                   TPlayerBases playerBases)
    : base_(baseAddress),
      playerBases_(std::move(playerBases)),
      store_(std::move(store)),
      report_(std::move(report)),
      fetch_(std::move(fetch)),
      rows_(rows),
      found_(rows_)
{
    for (const QString& row : rows) {
        if (IsWebAddress(row) && jobs_.size() < static_cast<std::size_t>(kMaxMoviesRead))
            jobs_.push_back({row, 0});
    }
    names_.resize(jobs_.size());
    const int workers = std::min<int>(kMaxFetchesAtOnce, static_cast<int>(jobs_.size()));
    workersLeft_ = workers;
    finished_ = jobs_.empty();
    for (int i = 0; i < workers; ++i)
        workers_.emplace_back([this] { Work(); });
}

TMovieReadingRun::~TMovieReadingRun()
{
    Cancel();
    workers_.clear();  // joins
}

void TMovieReadingRun::Cancel()
{
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    wake_.notify_all();
}

bool TMovieReadingRun::HasWebMovies(const QStringList& rows)
{
    return std::any_of(rows.begin(), rows.end(), IsWebAddress);
}

TMovieReadingRun::TFetched TMovieReadingRun::FetchWebMovie(const std::string& url, const std::atomic<bool>& cancelled,
                                                           PageNetwork& page)
{
    TFetched fetched;
    if (cancelled)
        return fetched;
    HttpLimits limits;
    limits.cancelled = &cancelled;  // a new scan does not wait for a slow server
    limits.reach = page.Reach(&cancelled);
    HttpFetchResult result = FetchUrl(url, kMaxMovieBytes, "HTTPGET", limits);
    fetched.ok = result.ok;
    fetched.bytes = std::move(result.body);
    fetched.stayedOnOrigin = result.stayedOnOrigin;
    return fetched;
}

TMovieReadingRun::Fetcher TMovieReadingRun::WebMovieFetcher(const QString& pageAddress)
{
    auto page = pageAddress.isEmpty() ? std::make_shared<PageNetwork>(HttpReach::PublicOnly)
                                      : std::make_shared<PageNetwork>(pageAddress.toStdString());
    return [page](const std::string& url, const std::atomic<bool>& cancelled) {
        return FetchWebMovie(url, cancelled, *page);
    };
}

void TMovieReadingRun::Work()
{
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return cancelled_ || finished_ || nextJob_ < jobs_.size(); });
        if (cancelled_ || finished_)
            break;
        const std::size_t index = nextJob_++;
        const Job job = jobs_[index];
        lock.unlock();
        QStringList names = ReadOne(job);
        lock.lock();
        if (cancelled_)
            break;
        names_[index] = std::move(names);
        ++done_;
        TReport report;
        report.appended = TakeReadyNames();
        report.done = done_;
        report.total = static_cast<int>(jobs_.size());
        finished_ = static_cast<std::size_t>(done_) == jobs_.size();
        report_(report);
        wake_.notify_all();
    }
    if (--workersLeft_ == 0) {
        TReport last;
        last.done = done_;
        last.total = static_cast<int>(jobs_.size());
        last.finished = true;
        report_(last);
    }
}

QStringList TMovieReadingRun::ReadOne(const Job& job)
{
    if (const std::optional<TMovieStore::TRead> known = store_->Read(job.address))
        return known->movieNames;
    TFetched fetched = fetch_(job.address.toStdString(), cancelled_);
    if (!fetched.ok)
        return {};
    auto bytes = std::make_shared<const std::string>(std::move(fetched.bytes));
    TMovieReading reading = ReadMovie(*bytes);
    if (reading.result == MovieReadResult::NotAMovie)
        return {};
    // Only a whole movie from the row's own origin stands in for a later fetch of its row.
    if (reading.result != MovieReadResult::Ok || !fetched.stayedOnOrigin)
        bytes.reset();
    store_->Keep(job.address, {reading.details, reading.movieNames}, bytes);
    return reading.movieNames;
}

QStringList TMovieReadingRun::TakeReadyNames()
{
    QStringList appended;
    while (nextNames_ < names_.size() && names_[nextNames_].has_value()) {
        const int depth = jobs_[nextNames_].depth + 1;
        // A loaded movie's loads resolve where its loader's do.
        const QString base = playerBases_.value(jobs_[nextNames_].address, base_);
        for (const QString& name : *names_[nextNames_]) {
            const qsizetype before = rows_.size();
            found_.Add(base, EncodedSpaces(name));
            if (rows_.size() == before)
                continue;
            const QString& address = rows_.last();
            playerBases_.insert(address, base);
            appended.append(address);
            if (depth < kMaxChainDepth && IsWebAddress(address) &&
                jobs_.size() < static_cast<std::size_t>(kMaxMoviesRead)) {
                jobs_.push_back({address, depth});
                names_.emplace_back();
            }
        }
        ++nextNames_;
    }
    return appended;
}

}  // namespace tessaro
