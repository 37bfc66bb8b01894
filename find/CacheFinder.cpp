#include "find/CacheFinder.h"

#include "cache/FindCacheThread.h"
#include "find/MovieFinder.h"
#include "find/MovieRecord.h"
#include "platform/cachewalk/UrlCache.h"
#include "platform/core/RegularFile.h"
#include "scan/MovieReadingRun.h"

#include <QTemporaryDir>

#include <filesystem>
#include <future>
#include <memory>
#include <system_error>
#include <vector>

namespace tessaro {

namespace {

// Check-outs read and hashed at once, ahead of the line written: the walk
// goes on while they are read, and memory stays bounded.
constexpr std::size_t kMoviesPerBatch = 32;

struct TCachedMovie {
    UrlCacheEntry entry;
    RegularFileResult read = RegularFileResult::Failed;
    std::string bytes;
};

TCachedMovie ReadCheckout(UrlCacheEntry entry)
{
    TCachedMovie movie;
    movie.entry = std::move(entry);
    movie.read = ReadRegularFile(movie.entry.localFileName, TMovieReadingRun::kMaxMovieBytes, movie.bytes);
    return movie;
}

void WriteCachedMovie(const QString& input, const QString& cache, const TCachedMovie& movie, TFindOutput& output)
{
    if (movie.read != RegularFileResult::Ok) {
        output.Error(input, QString::fromStdString(movie.entry.localFileName) + QStringLiteral(": ") +
                                QString::fromLatin1(ToString(movie.read)));
        return;
    }
    TMovieFacts facts;
    facts.input = input;
    facts.url = QString::fromStdString(movie.entry.url);
    facts.source.cache = cache;
    facts.source.browser = QString::fromStdString(movie.entry.browser);
    facts.source.captured = movie.entry.time;
    // A folder's check-outs are the run's own and go with it.
    if (cache.isEmpty())
        facts.source.file = QString::fromStdString(movie.entry.localFileName);
    WriteMovieRead(std::move(facts), movie.bytes, output);
}

// Walks one enumeration: each movie the cache page would list, in its order.
// Reading the check-outs runs on `jobs` threads a batch at a time.
void WalkMovies(const UrlCacheOpener& open, const QString& input, const QString& cache, TFindOutput& output, int jobs)
{
    std::unique_ptr<UrlCacheEnumeration> walk = open(nullptr);
    if (walk == nullptr) {
        output.Error(input, QStringLiteral("the caches cannot be listed"));
        return;
    }
    std::vector<UrlCacheEntry> batch;
    const auto flush = [&] {
        std::vector<std::future<std::vector<TCachedMovie>>> parts;
        const std::size_t share = (batch.size() + static_cast<std::size_t>(jobs) - 1) / static_cast<std::size_t>(jobs);
        for (std::size_t from = 0; from < batch.size(); from += share) {
            const std::size_t to = std::min(batch.size(), from + share);
            parts.push_back(std::async(std::launch::async, [&batch, from, to] {
                std::vector<TCachedMovie> movies;
                for (std::size_t i = from; i < to; ++i)
                    movies.push_back(ReadCheckout(batch[i]));
                return movies;
            }));
        }
        for (auto& part : parts) {
            for (const TCachedMovie& movie : part.get())
                WriteCachedMovie(input, cache, movie, output);
        }
        batch.clear();
    };
    UrlCacheEntry entry;
    while (walk->Next(entry)) {
        if (!IsFlashCacheFile(entry.localFileName))
            continue;
        batch.push_back(entry);
        if (batch.size() >= kMoviesPerBatch)
            flush();
    }
    flush();
    walk->Close();
}

}  // namespace

void FindUserCaches(TFindOutput& output, int jobs)
{
    WalkMovies(TFindCacheEntryThread::DefaultOpener(), QString(), QString(), output, jobs);
    output.InputDone(QStringLiteral("caches"));
}

void FindCacheFolder(const QString& input, TFindOutput& output, int jobs)
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(input.toStdString(), error);
    if (error || !std::filesystem::is_directory(folder, error)) {
        output.Error(input, QStringLiteral("not a folder"));
        output.InputDone(input);
        return;
    }
    QTemporaryDir checkouts;
    if (!checkouts.isValid()) {
        output.Error(input, QStringLiteral("no folder for the check-outs: ") + checkouts.errorString());
        output.InputDone(input);
        return;
    }
    UrlCacheLocations locations = DefaultUrlCacheLocations();
    locations.embeddedCache.clear();
    locations.searchRoots.clear();
    locations.home.clear();
    locations.addedFolders = {folder};
    locations.contentFolder = checkouts.path().toStdString();
    if (FindUrlCacheSources(locations).empty()) {
        output.Error(input, QStringLiteral("no cache found in the folder"));
        output.InputDone(input);
        return;
    }
    const QString cache = QString::fromStdString(folder.string());
    WalkMovies([&](const std::atomic<bool>*) { return OpenUrlCacheEnumeration(locations); }, input, cache, output,
               jobs);
    output.InputDone(input);
}

}  // namespace tessaro
