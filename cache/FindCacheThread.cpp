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
    return {std::to_string(matchCount), FileNamePart(entry.localFileName), std::to_string(sizeLow), entry.localFileName,
            CachedMovieDetails(entry)};
}

TFindCacheEntryThread::TFindCacheEntryThread(QObject* receiver, RowSink addRow, UrlCacheOpener openCache)
    : TThread(receiver), addRow_(std::move(addRow)), openCache_(std::move(openCache))
{
    Start();
}

UrlCacheOpener TFindCacheEntryThread::DefaultOpener()
{
    return [] {
        UrlCacheLocations locations = DefaultUrlCacheLocations();
        locations.addedFolders = AddedCacheFolders();
        return OpenUrlCacheEnumeration(locations);
    };
}

void TFindCacheEntryThread::Execute()
{
    std::int32_t MatchCount = 0;
    std::unique_ptr<UrlCacheEnumeration, EnumerationCloser> cache(openCache_ ? openCache_().release() : nullptr);
    if (!cache)
        return;
    UrlCacheEntry entry;
    while (!Terminated() && cache->Next(entry)) {
        if (!IsFlashCacheFile(entry.localFileName))
            continue;
        ++MatchCount;
        Queue([sink = addRow_, row = MakeCacheMovieRow(MatchCount, entry)] {
            if (sink)
                sink(row);
        });
    }
}

}  // namespace tessaro
