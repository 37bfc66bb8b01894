#include "find/CacheFinder.h"

#include "cache/FindCacheThread.h"
#include "find/MovieFinder.h"
#include "find/MovieRecord.h"
#include "platform/cachewalk/UrlCache.h"
#include "platform/core/RegularFile.h"
#include "scan/MovieReadingRun.h"

#include <QTemporaryDir>
#include <QThreadPool>

#include <chrono>
#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <system_error>
#include <vector>

namespace tessaro {

namespace {

// Check-outs being read or waiting for their line, per reader: the walk
// goes on while they are read, and memory stays bounded.
constexpr std::size_t kAheadPerReader = 8;

// A cached movie's check-out read and the movie read from it, on a reader:
// its lines, waiting for their turn.
TMovieLines ReadCachedMovie(const QString& input, const QString& cache, const UrlCacheEntry& entry)
{
    std::string bytes;
    const RegularFileResult read = ReadRegularFile(entry.localFileName, TMovieReadingRun::kMaxMovieBytes, bytes);
    if (read != RegularFileResult::Ok) {
        TMovieLines lines;
        lines.input = input;
        lines.errors.append(QString::fromStdString(entry.localFileName) + QStringLiteral(": ") +
                            QString::fromLatin1(ToString(read)));
        return lines;
    }
    TMovieFacts facts;
    facts.input = input;
    facts.url = QString::fromStdString(entry.url);
    facts.source.cache = cache;
    facts.source.browser = QString::fromStdString(entry.browser);
    facts.source.archive = QString::fromStdString(entry.archive);
    facts.source.captured = entry.time;
    facts.localCopy = QString::fromStdString(entry.localFileName);
    // A folder's check-outs are the run's own and go with it.
    if (cache.isEmpty())
        facts.source.file = QString::fromStdString(entry.localFileName);
    return ReadMovieLines(std::move(facts), bytes);
}

// Walks one enumeration: each movie the cache page would list, in its order,
// its check-out read by `jobs` readers beside the walk. Returns how many
// entries the caches held, a damaged source counted as one; -1 when they
// could not be listed.
int WalkMovies(const UrlCacheOpener& open, const QString& input, const QString& cache, TFindOutput& output, int jobs)
{
    std::unique_ptr<UrlCacheEnumeration> walk = open(nullptr);
    if (walk == nullptr) {
        output.Error(input, QStringLiteral("the caches cannot be listed"));
        return -1;
    }
    // A few threads read the check-outs, and the movies in them, while the walk goes on.
    QThreadPool readers;
    readers.setMaxThreadCount(jobs);
    std::deque<std::future<TMovieLines>> ahead;
    const auto writeFirst = [&] {
        WriteMovieLines(ahead.front().get(), output);
        ahead.pop_front();
    };
    int entries = 0;
    UrlCacheEntry entry;
    while (walk->Next(entry)) {
        ++entries;
        if (!IsFlashCacheFile(entry.localFileName))
            continue;
        auto read = std::make_shared<std::packaged_task<TMovieLines()>>(
            [input, cache, entry] { return ReadCachedMovie(input, cache, entry); });
        ahead.push_back(read->get_future());
        readers.start([read] { (*read)(); });
        while (!ahead.empty() && (ahead.size() > kAheadPerReader * static_cast<std::size_t>(jobs) ||
                                  ahead.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready))
            writeFirst();
    }
    while (!ahead.empty())
        writeFirst();
    // What was read of a damaged source is listed; the damage is an error
    // line, and the source counts as found.
    for (const std::string& problem : walk->Problems()) {
        output.Error(input, QString::fromStdString(problem));
        ++entries;
    }
    walk->Close();
    return entries;
}

}  // namespace

void FindUserCaches(TFindOutput& output, int jobs)
{
    WalkMovies(TFindCacheEntryThread::DefaultOpener(), QString(), QString(), output, jobs);
    output.InputDone(QStringLiteral("caches"));
}

void FindCacheFolder(const QString& input, TFindOutput& output, int jobs,
                     std::vector<std::unique_ptr<QTemporaryDir>>* keepCheckouts)
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(input.toStdString(), error);
    if (error || (!std::filesystem::is_directory(folder, error) && !std::filesystem::is_regular_file(folder, error))) {
        output.Error(input, QStringLiteral("not a folder or a file"));
        output.InputDone(input);
        return;
    }
    auto kept = std::make_unique<QTemporaryDir>();
    QTemporaryDir& checkouts = *kept;
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
    const QString cache = QString::fromStdString(folder.string());
    const int entries = WalkMovies([&](const std::atomic<bool>*) { return OpenUrlCacheEnumeration(locations); }, input,
                                   cache, output, jobs);
    if (entries == 0)
        output.Error(input, QStringLiteral("no cache or web archive found there"));
    output.InputDone(input);
    if (keepCheckouts != nullptr)
        keepCheckouts->push_back(std::move(kept));
}

}  // namespace tessaro
