#include "cache/FindCacheThread.h"

#include "cache/AddedCacheFolders.h"
#include "cache/CachedMovieDetails.h"
#include "platform/core/AsciiText.h"

#include <cstdint>
#include <memory>

namespace tessaro {

namespace {

std::string FileNamePart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes the enumeration however the walk ends.
struct EnumerationCloser {
    void operator()(UrlCacheEnumeration* enumeration) const
    {
        enumeration->Close();
        delete enumeration;
    }
};

}  // namespace

bool IsFlashCacheFile(const std::string& localFileName)
{
    const std::string name = FileNamePart(localFileName);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    return LowerAscii(std::string_view(name).substr(dot)) == ".swf";
}

CacheMovieRow MakeCacheMovieRow(int matchCount, const UrlCacheEntry& entry)
{
    // Only the low 32 bits of the size are shown, as an unsigned number.
    const auto sizeLow = static_cast<std::uint32_t>(entry.size);
    return {std::to_string(matchCount),
            FileNamePart(entry.localFileName),
            std::to_string(sizeLow),
            entry.localFileName,
            CachedMovieDetails(entry),
            entry.url,
            entry.archive};
}

UrlCacheOpener TFindCacheEntryThread::DefaultOpener()
{
    return [](const std::atomic<bool>* cancelled) {
        UrlCacheLocations locations = DefaultUrlCacheLocations();
        locations.addedFolders = AddedCacheFolders();
        locations.cancelled = cancelled;
        return OpenUrlCacheEnumeration(locations);
    };
}

void TFindCacheEntryThread::operator()(JobControl& job) const
{
    std::int32_t MatchCount = 0;
    std::unique_ptr<UrlCacheEnumeration, EnumerationCloser> cache(openCache ? openCache(job.CancelFlag()).release()
                                                                            : nullptr);
    if (!cache)
        return;
    UrlCacheEntry entry;
    while (!job.Cancelled() && cache->Next(entry)) {
        if (!IsFlashCacheFile(entry.localFileName))
            continue;
        ++MatchCount;
        job.Report([sink = addRow, row = MakeCacheMovieRow(MatchCount, entry)] {
            if (sink)
                sink(row);
        });
    }
}

}  // namespace tessaro
