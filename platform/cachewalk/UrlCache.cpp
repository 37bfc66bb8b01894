#include "platform/cachewalk/UrlCache.h"

#include "formats/coding/BodyDecoder.h"
#include "formats/coding/HttpHead.h"
#include "formats/urlcache/ByteSource.h"
#include "formats/urlcache/CacheFiles.h"
#include "formats/urlcache/ChromiumBlockFile.h"
#include "formats/urlcache/ChromiumResponseInfo.h"
#include "formats/urlcache/ChromiumSimpleCache.h"
#include "formats/urlcache/ChromiumSimpleCacheFormat.h"
#include "formats/urlcache/DamagedEntries.h"
#include "formats/urlcache/FirefoxCache1.h"
#include "formats/urlcache/FirefoxCache2.h"
#include "formats/urlcache/IeUrlCache.h"
#include "formats/urlcache/Projector.h"
#include "platform/cachewalk/BlockFileLooks.h"
#include "platform/cachewalk/CacheCheckout.h"
#include "platform/cachewalk/CheckoutRecords.h"
#include "platform/cachewalk/MovieBody.h"
#include "platform/cachewalk/OldDiskCaches.h"
#include "platform/cachewalk/WebArchiveMovies.h"
#include "platform/cachewalk/WebArchiveSearch.h"
#include "platform/cachewalk/WinePrefixCaches.h"
#include "platform/core/AppPaths.h"
#include "platform/core/AsciiText.h"
#include "platform/core/BrowserHomes.h"
#include "platform/core/ByteOrder.h"
#include "platform/core/Descriptor.h"
#include "platform/core/OrderedReadAhead.h"
#include "platform/files/AtomicFile.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

// Deep enough for <browser>/<vendor folder>/<profile>/Cache/Cache_Data and
// mozilla/firefox/<profile>/cache2; shallow enough not to crawl unrelated trees.
constexpr int kMaxSearchDepth = 6;
// An added folder may be a whole Windows disk: deep enough for
// Users/<user>/AppData/Local/<vendor>/<browser>/User Data/<profile>/Cache/Cache_Data
// and for a Wine prefix's drive_c/users/<user>/.../INetCache/Content.IE5.
constexpr int kMaxAddedFolderDepth = 12;
// Folders looked at below one root at most, so a disk of millions of
// folders ends the search instead of holding up the listing.
constexpr std::size_t kMaxSearchedFolders = 200000;
// Files below one added folder whose first bytes are read to tell a web archive.
constexpr std::size_t kMaxSniffedFiles = 100000;
// Decoded bytes one walk may spend on check-outs; past it, movies not
// checked out already are passed over until the next walk.
constexpr std::uint64_t kMaxDecodedPerWalk = std::uint64_t(2) << 30;
bool Cancelled(const std::atomic<bool>* cancelled)
{
    return cancelled != nullptr && cancelled->load();
}

// Entries of a folder listed between two looks at the cancel flag.
constexpr std::size_t kEntriesPerCancelCheck = 1024;

bool IsRealFolder(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    return !error && fs::is_directory(status);
}

bool LooksLikeSimpleCache(const fs::path& folder)
{
    FileByteSource index(folder / "index");
    std::string magic;
    if (index.IsOpen() && index.Read(0, 8, magic) && LoadLe64(magic.data()) == simplecache::kInitialMagic)
        return true;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (IsSimpleCacheEntryName(it->path().filename().string()))
            return true;
    }
    return false;
}

// The folder's subfolders by name; files that may be projectors go to
// programs when it is given.
std::vector<fs::path> SortedSubfolders(const fs::path& folder, const std::atomic<bool>* cancelled,
                                       std::vector<fs::path>* programs = nullptr)
{
    std::vector<fs::path> folders;
    std::error_code error;
    std::size_t listed = 0;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (++listed % kEntriesPerCancelCheck == 0 && Cancelled(cancelled))
            return {};
        if (IsRealFolder(it->path()))
            folders.push_back(it->path());
        else if (programs != nullptr && MayBeProjector(it->path()))
            programs->push_back(it->path());
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

struct FoundSources {
    std::vector<UrlCacheSource> chromium, firefox, internetExplorer, projectors, archives;
};

// How far a search goes below one root, and how many folders it may look at;
// whether it looks for projectors too, and how many files it checks for one.
struct SearchBounds {
    int maxDepth;
    std::size_t folders;
    std::size_t programs = 0;
};

// Damaged sources a walk names, at most.
constexpr std::size_t kMaxProblems = 256;

// Programs checked for a movie below one added folder, at most.
constexpr std::size_t kMaxCheckedPrograms = 4096;

// The block-file caches: Chromium's index and data files, old Firefox's map.
bool OldCacheSourceOf(const fs::path& folder, UrlCacheSource& source)
{
    if (IsBlockFileCacheFolder(folder)) {
        source = {UrlCacheSource::Kind::ChromiumBlockFile, folder};
        return true;
    }
    if (IsCache1Folder(folder)) {
        source = {UrlCacheSource::Kind::FirefoxCache1, folder};
        return true;
    }
    return false;
}

// The cache that folder is, by its name (in any letter case) and what it
// holds; false when it is none.
bool CacheSourceOf(const fs::path& folder, UrlCacheSource& source)
{
    const std::string name = folder.filename().string();
    if (EqualsIgnoringAsciiCase(name, "cache2") && IsRealFolder(folder / "entries")) {
        source = {UrlCacheSource::Kind::FirefoxCache2, folder / "entries"};
        return true;
    }
    if (EqualsIgnoringAsciiCase(name, "Cache_Data") || EqualsIgnoringAsciiCase(name, "Cache")) {
        if (LooksLikeSimpleCache(folder)) {
            source = {UrlCacheSource::Kind::ChromiumSimple, folder};
            return true;
        }
        if (OldCacheSourceOf(folder, source))
            return true;
    }
    if (IsIeCacheFolder(folder)) {
        source = {UrlCacheSource::Kind::InternetExplorer, folder};
        return true;
    }
    return false;
}

// An added folder may be a cache copied under a name of its own: it is
// taken by what it holds, a Chromium cache by its index or entry files, a
// Firefox cache by the entry files in its entries folder.
bool CacheSourceOfAddedFolder(const fs::path& folder, UrlCacheSource& source)
{
    if (CacheSourceOf(folder, source))
        return true;
    if (LooksLikeSimpleCache(folder)) {
        source = {UrlCacheSource::Kind::ChromiumSimple, folder};
        return true;
    }
    if (OldCacheSourceOf(folder, source))
        return true;
    const fs::path entries = folder / "entries";
    if (!IsRealFolder(entries))
        return false;
    std::error_code error;
    for (auto it = fs::directory_iterator(entries, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (IsCache2EntryName(it->path().filename().string())) {
            source = {UrlCacheSource::Kind::FirefoxCache2, entries};
            return true;
        }
    }
    return false;
}

void Add(const UrlCacheSource& source, FoundSources& found)
{
    switch (source.kind) {
        case UrlCacheSource::Kind::ChromiumSimple:
        case UrlCacheSource::Kind::ChromiumBlockFile:
            found.chromium.push_back(source);
            break;
        case UrlCacheSource::Kind::FirefoxCache2:
        case UrlCacheSource::Kind::FirefoxCache1:
            found.firefox.push_back(source);
            break;
        case UrlCacheSource::Kind::InternetExplorer:
            found.internetExplorer.push_back(source);
            break;
        case UrlCacheSource::Kind::WebArchive:
        case UrlCacheSource::Kind::WebArchivePackage:
            found.archives.push_back(source);
            break;
        case UrlCacheSource::Kind::Projector:
            found.projectors.push_back(source);
            break;
    }
}

// The web archives below an added folder, past its caches and the
// program's own folders.
void SearchWebArchives(const fs::path& root, const UrlCacheLocations& locations, FoundSources& found)
{
    const auto skip = [&locations](const fs::path& folder) {
        UrlCacheSource source;
        return std::find(locations.excluded.begin(), locations.excluded.end(), folder) != locations.excluded.end() ||
               folder == locations.embeddedCache || folder == locations.contentFolder || CacheSourceOf(folder, source);
    };
    const WebArchiveSearchBounds bounds{kMaxAddedFolderDepth, kMaxSearchedFolders, kMaxSniffedFiles};
    for (const FoundWebArchive& archive : FindWebArchives(root, bounds, skip, locations.cancelled)) {
        found.archives.push_back({archive.kind == WebArchiveKind::Wacz ? UrlCacheSource::Kind::WebArchivePackage
                                                                       : UrlCacheSource::Kind::WebArchive,
                                  archive.file});
    }
}

// The programs of a folder that hold a movie, by name, within the bounds.
void AddProjectors(std::vector<fs::path> programs, SearchBounds& bounds, FoundSources& found)
{
    std::sort(programs.begin(), programs.end());
    for (const fs::path& program : programs) {
        if (bounds.programs == 0)
            return;
        --bounds.programs;
        const FileByteSource file(program);
        std::uint64_t offset = 0, length = 0;
        if (file.IsOpen() && FindProjectorMovie(file, offset, length))
            found.projectors.push_back({UrlCacheSource::Kind::Projector, program});
    }
}

// A file added by itself, by what it holds: a web archive, or a program
// with a movie appended.
void AddGivenFile(const fs::path& file, FoundSources& found)
{
    if (const WebArchiveKind kind = WebArchiveKindOf(file); kind != WebArchiveKind::None) {
        found.archives.push_back(
            {kind == WebArchiveKind::Wacz ? UrlCacheSource::Kind::WebArchivePackage : UrlCacheSource::Kind::WebArchive,
             file});
        return;
    }
    SearchBounds one{0, 0};
    one.programs = 1;
    AddProjectors({file}, one, found);
}

void Search(const fs::path& folder, int depth, SearchBounds& bounds, const UrlCacheLocations& locations,
            FoundSources& found)
{
    std::vector<fs::path> programs;
    const std::vector<fs::path> children =
        SortedSubfolders(folder, locations.cancelled, bounds.programs > 0 ? &programs : nullptr);
    AddProjectors(std::move(programs), bounds, found);
    for (const fs::path& child : children) {
        if (bounds.folders == 0 || Cancelled(locations.cancelled))
            return;
        --bounds.folders;
        if (std::find(locations.excluded.begin(), locations.excluded.end(), child) != locations.excluded.end() ||
            child == locations.embeddedCache || child == locations.contentFolder)
            continue;
        UrlCacheSource source;
        if (CacheSourceOf(child, source)) {
            Add(source, found);
            continue;
        }
        if (depth < bounds.maxDepth)
            Search(child, depth + 1, bounds, locations, found);
    }
}

// The browser a cache folder belongs to, from the folders each one uses.
std::string BrowserOfSource(const UrlCacheSource& source, const UrlCacheLocations& locations)
{
    if (source.folder == locations.embeddedCache)
        return "Tessaro";
    if (source.kind == UrlCacheSource::Kind::FirefoxCache2 || source.kind == UrlCacheSource::Kind::FirefoxCache1)
        return "Firefox";
    if (source.kind == UrlCacheSource::Kind::Projector)
        return {};  // no browser cached it: its address names the program
    if (source.kind == UrlCacheSource::Kind::InternetExplorer)
        return "Internet Explorer";
    static const std::pair<const char*, const char*> kFolders[] = {
        {"google-chrome", "Google Chrome"},
        {"bravesoftware", "Brave"},
        {"microsoft-edge", "Microsoft Edge"},
        {"vivaldi", "Vivaldi"},
        {"opera", "Opera"},
        {"chromium", "Chromium"},
    };
    const std::string path = LowerAscii(source.folder.string());
    for (const auto& [folder, name] : kFolders) {
        if (path.find(folder) != std::string::npos)
            return name;
    }
    return "a Chromium-based browser";
}

// The same for a cached response; opened, when given, is container, already open.
std::optional<bool> IsMovieResponse(const CachedResponse& response, const ByteSource* opened, const fs::path& container)
{
    return IsMovieBody(FactsOf(response), response.contentEncoding, [&](std::size_t length, std::string& prefix) {
        return ReadStoredPrefix(response, length, prefix, opened, container) == BodyReadResult::Ok;
    });
}

// An entry file of a Chromium or Firefox cache folder, as listed.
struct EntryFile {
    std::int64_t modifiedNs = 0;
    std::string name;
};

// What a read-ahead worker learns of one entry file: whether it is a movie,
// and for anything else all the walk yields of it.
struct EntryGlance {
    enum class Kind { Unreadable, Other, Movie };
    Kind kind = Kind::Unreadable;
    std::uint64_t storedSize = 0;
    // Why an unreadable entry is damaged; null when it is only not for us.
    const char* damage = nullptr;
};

// What a read-ahead worker learns of one entry of a block-file cache: the
// same, the file it is yielded as when it is no movie, and a movie's entry.
struct IndexedGlance {
    EntryGlance::Kind kind = EntryGlance::Kind::Unreadable;
    std::uint64_t storedSize = 0;
    std::string container;
    IndexedCacheEntry movie;
    // The movie's own body file as the worker opened it, and its stamp then
    // (a body in a shared block file is the walk's).
    std::shared_ptr<FileByteSource> movieBody;
    FileStamp movieStamp;
    DamagedEntries damage;  // the entry's own, noted by the walk in its order
};

// Entry files read ahead of the walk, and the most waiting to be taken.
constexpr std::size_t kReadAheadWindow = 256;
// Below this many files one thread lists their times.
constexpr std::size_t kFilesPerStatThread = 4096;

int ReadAheadThreads()
{
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

EntryGlance GlanceAtEntry(UrlCacheSource::Kind kind, int folderFd, const fs::path& folder, const std::string& name)
{
    EntryGlance glance;
    const FileByteSource file(folderFd, name.c_str());
    if (!file.IsOpen())
        return glance;
    CachedResponse response;
    const fs::path path = folder / name;
    if (kind == UrlCacheSource::Kind::ChromiumSimple) {
        if (const SimpleCacheResult result = ReadSimpleCacheEntry(file, path, response, folderFd);
            result != SimpleCacheResult::Ok) {
            glance.damage = IsDamage(result) ? ToString(result) : nullptr;
            return glance;
        }
    } else if (const Cache2Result result = ReadCache2Entry(file, path, response); result != Cache2Result::Ok) {
        glance.damage = IsDamage(result) ? ToString(result) : nullptr;
        return glance;
    }
    // A ranged body lives in the entry's sparse file, opened in the folder too.
    const ByteSource* opened = &file;
    fs::path openedPath = path;
    std::optional<FileByteSource> sparse;
    if (!response.body.empty() && response.body.front().file != path) {
        openedPath = response.body.front().file;
        opened = &sparse.emplace(folderFd, openedPath.filename().c_str());
    }
    const std::optional<bool> movie = IsMovieResponse(response, opened, openedPath);
    if (!movie)
        return glance;
    glance.kind = *movie ? EntryGlance::Kind::Movie : EntryGlance::Kind::Other;
    glance.storedSize = response.StoredSize();
    return glance;
}

// The wanted files of the folder with their modification times, oldest
// first, then by name; files that cannot be looked at are left out. The
// times are taken on several threads when there are many files.
std::vector<EntryFile> ListEntryFiles(int folderFd, const std::function<bool(const std::string&)>& wanted,
                                      const std::atomic<bool>* cancelled)
{
    std::vector<EntryFile> files;
    const int listFd = ::dup(folderFd);
    DIR* listing = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (listing == nullptr) {
        if (listFd >= 0)
            ::close(listFd);
        return files;
    }
    std::size_t listed = 0;
    while (const dirent* item = ::readdir(listing)) {
        if (++listed % kEntriesPerCancelCheck == 0 && Cancelled(cancelled)) {
            ::closedir(listing);
            return {};
        }
        std::string name = item->d_name;
        if (wanted(name))
            files.push_back({0, std::move(name)});
    }
    ::closedir(listing);

    std::vector<char> present(files.size(), 0);
    const auto stamp = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            if (i % kEntriesPerCancelCheck == 0 && Cancelled(cancelled))
                return;
            struct stat info {};
            // A link or anything but a plain file is no entry a browser wrote.
            if (::fstatat(folderFd, files[i].name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
                continue;
            files[i].modifiedNs = std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
            present[i] = 1;
        }
    };
    const std::size_t threads =
        std::min<std::size_t>(static_cast<std::size_t>(ReadAheadThreads()), 1 + files.size() / kFilesPerStatThread);
    {
        std::vector<std::jthread> helpers;
        const std::size_t share = (files.size() + threads - 1) / threads;
        for (std::size_t t = 1; t < threads; ++t)
            helpers.emplace_back(stamp, std::min(files.size(), t * share), std::min(files.size(), (t + 1) * share));
        stamp(0, std::min(files.size(), share));
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (present[i] && kept++ != i)
            files[kept - 1] = std::move(files[i]);
    }
    files.resize(kept);
    std::sort(files.begin(), files.end(), [](const EntryFile& a, const EntryFile& b) {
        return a.modifiedNs != b.modifiedNs ? a.modifiedNs < b.modifiedNs : a.name < b.name;
    });
    return files;
}

class BrowserCacheEnumeration : public UrlCacheEnumeration {
public:
    explicit BrowserCacheEnumeration(UrlCacheLocations locations)
        : locations_(std::move(locations)),
          contentListing_(std::async(std::launch::async, ListContentFolder, locations_.contentFolder)),
          sources_(FindUrlCacheSources(locations_)),
          records_(locations_.contentFolder, locations_.contentFolderCap)
    {
        records_.Load();
        records_.MakeRoom(0);  // a folder left over its cap (a lower cap, an older walk) comes under it
    }

    bool Next(UrlCacheEntry& entry) override
    {
        while (!closed_ && !Cancelled(locations_.cancelled)) {
            if (archive_) {
                if (ArchivedMovie movie; archive_->Next(movie)) {
                    entry = UrlCacheEntry();
                    if (YieldArchivedMovie(movie, entry))
                        return true;
                    continue;
                }
            } else if (blockIndex_ && blockNext_ < blockLooks_.size()) {
                const BlockFileLook& look = blockLooks_[blockNext_++];
                entry = UrlCacheEntry();
                if (look.verdict == BlockFileLook::Verdict::Other) {
                    entry.localFileName = LookedContainer(look);
                    entry.size = look.bodyLength;
                    return true;
                }
                IndexedGlance glance;
                if (!indexedReadAhead_->Next(glance))
                    continue;
                if (YieldGlance(glance, entry))
                    return true;
                continue;
            } else if (IsIndexed(current_.kind) && !indexedReadAhead_) {
                if (indexedIndex_ < indexed_.size()) {
                    entry = UrlCacheEntry();
                    if (ReadIndexed(indexed_[indexedIndex_++], entry))
                        return true;
                    continue;
                }
            } else if (current_.kind == UrlCacheSource::Kind::InternetExplorer) {
                if (ieRecordIndex_ < ieIndex_.records.size()) {
                    entry = UrlCacheEntry();
                    if (ReadIeRecord(ieIndex_.records[ieRecordIndex_++], entry))
                        return true;
                    continue;
                }
            } else if (EntryGlance glance; readAhead_ && readAhead_->Next(glance)) {
                const EntryFile& file = files_[fileIndex_++];
                const fs::path path = current_.folder / file.name;
                entry = UrlCacheEntry();
                if (glance.kind == EntryGlance::Kind::Other) {
                    entry.localFileName = path.string();
                    entry.size = glance.storedSize;
                    return true;
                }
                if (glance.damage != nullptr)
                    damaged_.Note(file.name, glance.damage);
                // A movie is read again here, where check-outs are made;
                // movies are few among a cache's entries.
                if (glance.kind == EntryGlance::Kind::Movie && ReadEntry(file.name, path, entry)) {
                    if (!entry.url.empty()) {
                        entry.browser = BrowserOfSource(current_, locations_);
                        entry.time = file.modifiedNs / 1'000'000'000;
                    }
                    return true;
                }
                continue;
            }
            if (!OpenNextSource()) {
                reachedEnd_ = true;
                return false;
            }
        }
        return false;
    }

    std::vector<std::string> Problems() const override { return problems_; }

    void Close() override
    {
        if (closed_)
            return;
        closed_ = true;
        readAhead_.reset();
        indexedReadAhead_.reset();
        // Its owner waits for a cancelled walk: the records stay as they
        // were, and the next walk vouches for what this one wrote.
        if (Cancelled(locations_.cancelled))
            return;
        // A check-out goes only with its entry: one that could not be read
        // this time (a browser writing it) keeps its file.
        if (reachedEnd_) {
            records_.Retain(present_);
            std::set<fs::path> keep = records_.Checkouts();
            keep.insert(checkedOut_.begin(), checkedOut_.end());
            keep.insert(records_.FilePath());
            RemoveStaleCheckouts(contentListing_.get(), keep);
        }
        // Check-outs written this walk reach the disk before a record vouches
        // for them; unsynced, the records stay as they were and the next walk
        // writes them again.
        if (wroteCheckouts_ && !SyncFileSystemOf(locations_.contentFolder.string()))
            return;
        records_.Save();
    }

private:
    bool OpenNextSource()
    {
        readAhead_.reset();  // joins its workers before what they read goes
        indexedReadAhead_.reset();
        blockIndex_.reset();
        blockLooks_.clear();
        blockUnsettled_.clear();
        folder_.reset();
        files_.clear();
        fileIndex_ = 0;
        ieIndexFile_.reset();
        ieIndex_ = IeCacheIndex();
        ieRecordIndex_ = 0;
        if (archive_)
            for (const std::string& problem : archive_->Problems())
                Note(problem);
        // A source's damaged entries are one problem of it, however many.
        if (damaged_.count != 0)
            Note(damaged_.Text());
        damaged_ = DamagedEntries();
        archive_.reset();
        archiveCheckouts_.clear();
        cacheFiles_.reset();
        indexed_.clear();
        indexedIndex_ = 0;
        if (sourceIndex_ >= sources_.size())
            return false;
        current_ = sources_[sourceIndex_++];
        if (current_.kind == UrlCacheSource::Kind::WebArchive ||
            current_.kind == UrlCacheSource::Kind::WebArchivePackage) {
            archive_ = std::make_unique<WebArchiveMovies>(
                current_.folder,
                current_.kind == UrlCacheSource::Kind::WebArchive ? WebArchiveKind::Records : WebArchiveKind::Wacz,
                locations_.cancelled);
            return true;
        }
        if (IsIndexed(current_.kind)) {
            OpenIndexedSource();
            return true;
        }
        if (current_.kind == UrlCacheSource::Kind::InternetExplorer) {
            ieIndexFile_ = std::make_unique<FileByteSource>(current_.folder / "index.dat");
            if (const IeCacheResult result = ParseIeCacheIndex(*ieIndexFile_, ieIndex_); result != IeCacheResult::Ok) {
                Note(ToString(result));
                ieIndex_.records.clear();
            } else if (ieIndex_.hashTable != IeCacheResult::Ok) {
                Note(std::string("hash table: ") + ToString(ieIndex_.hashTable));
            }
            return true;
        }
        folder_ = std::make_unique<Descriptor>(
            ::open(current_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
        if (!folder_->Valid())
            return true;  // an empty source
        const UrlCacheSource::Kind kind = current_.kind;
        files_ = ListEntryFiles(
            folder_->Get(),
            [kind](const std::string& name) {
                return kind == UrlCacheSource::Kind::ChromiumSimple ? IsSimpleCacheEntryName(name)
                                                                    : IsCache2EntryName(name);
            },
            locations_.cancelled);
        for (const EntryFile& file : files_) {
            const std::string path = (current_.folder / file.name).string();
            if (records_.Has(path))
                present_.insert(path);
        }
        const int folderFd = folder_->Get();
        readAhead_ = std::make_unique<OrderedReadAhead<EntryGlance>>(
            files_.size(),
            [this, kind, folderFd, folder = current_.folder](std::size_t i) {
                return GlanceAtEntry(kind, folderFd, folder, files_[i].name);
            },
            ReadAheadThreads(), kReadAheadWindow);
        return true;
    }

    bool ReadEntry(const std::string& name, const fs::path& file, UrlCacheEntry& entry)
    {
        const FileByteSource source(folder_->Get(), name.c_str());
        if (!source.IsOpen())
            return false;
        CachedResponse response;
        const bool read = current_.kind == UrlCacheSource::Kind::ChromiumSimple
                              ? ReadSimpleCacheEntry(source, file, response, folder_->Get()) == SimpleCacheResult::Ok
                              : ReadCache2Entry(source, file, response) == Cache2Result::Ok;
        if (!read)
            return false;
        return YieldResponse(response, file, file.string(), source.Stamp(), &source, file, entry);
    }

    static bool IsIndexed(UrlCacheSource::Kind kind)
    {
        return kind == UrlCacheSource::Kind::ChromiumBlockFile || kind == UrlCacheSource::Kind::FirefoxCache1 ||
               kind == UrlCacheSource::Kind::Projector;
    }

    // Reads the whole index of a block-file cache (each shared file once),
    // or the one movie of a projector.
    void OpenIndexedSource()
    {
        if (current_.kind == UrlCacheSource::Kind::Projector) {
            const FileByteSource file(current_.folder);
            IndexedCacheEntry movie;
            std::uint64_t offset = 0, length = 0;
            if (!file.IsOpen() || !FindProjectorMovie(file, offset, length))
                return;
            movie.response.url = current_.folder.string() + "#movie.swf";
            movie.response.body = {{current_.folder, offset, length, std::nullopt}};
            movie.time = file.Stamp().modifiedNs / 1'000'000'000;
            indexed_.push_back(std::move(movie));
            return;
        }
        // What was read before a fault is walked; the fault is noted.
        const char* fault = nullptr;
        if (current_.kind == UrlCacheSource::Kind::ChromiumBlockFile) {
            // Its block files are read through windows, never whole.
            cacheFiles_ = std::make_unique<FolderCacheFiles>(current_.folder, 0);
            blockFolderPrefix_ = (current_.folder / "").string();
            blockIndex_ = std::make_unique<BlockFileIndex>();
            SeparateBodyStarts separate(*cacheFiles_, locations_.cancelled);
            if (const BlockFileResult result =
                    IndexBlockFileCache(*cacheFiles_, *blockIndex_, &damaged_,
                                        [&separate](std::span<const BlockFileEntry> found) { separate.Add(found); });
                result != BlockFileResult::Ok)
                fault = ToString(result);
            // Thousands of small entries share a few files: their heads and
            // first bytes are looked at where they lie, each file read once,
            // and the few left open read ahead of the walk, on other threads,
            // as a folder's entry files are.
            blockLooks_ =
                LookAtBlockFileCache(*cacheFiles_, *blockIndex_, separate, ReadAheadThreads(), locations_.cancelled);
            blockNext_ = 0;
            blockUnsettled_.clear();
            for (std::size_t nth = 0; nth < blockLooks_.size(); ++nth) {
                if (blockLooks_[nth].verdict != BlockFileLook::Verdict::Other)
                    blockUnsettled_.push_back(nth);
            }
            indexedReadAhead_ = std::make_unique<OrderedReadAhead<IndexedGlance>>(
                blockUnsettled_.size(),
                [this](std::size_t nth) { return GlanceAtBlockFileEntry(blockUnsettled_[nth]); }, ReadAheadThreads(),
                kReadAheadWindow);
        } else {
            cacheFiles_ = std::make_unique<FolderCacheFiles>(current_.folder);
            if (const Cache1Result result = ReadFirefoxCache1(*cacheFiles_, indexed_, &damaged_);
                result != Cache1Result::Ok)
                fault = ToString(result);
        }
        if (fault != nullptr)
            Note(fault);
    }

    // The file an indexed entry is known by: the one its body starts in, or
    // the index or map when it has none.
    fs::path IndexedContainer(const IndexedCacheEntry& indexed) const
    {
        if (!indexed.response.body.empty())
            return indexed.response.body.front().file;
        return current_.folder / (current_.kind == UrlCacheSource::Kind::FirefoxCache1 ? "_CACHE_MAP_" : "index");
    }

    // The file an indexed entry's body starts in, open: a shared block file
    // as the walk holds it, else a file of its own opened into own; with its
    // stamp when asked. Null when there is no body or its file cannot be
    // opened. Safe on the read-ahead workers.
    const ByteSource* OpenIndexedBody(const IndexedCacheEntry& indexed, std::unique_ptr<FileByteSource>& own,
                                      FileStamp* stamp) const
    {
        if (indexed.bodyInSharedFile && cacheFiles_) {
            if (stamp != nullptr)
                *stamp = cacheFiles_->StampOf(indexed.bodyFile);
            return indexed.bodySource != nullptr ? indexed.bodySource : cacheFiles_->Open(indexed.bodyFile);
        }
        if (indexed.response.body.empty())
            return nullptr;
        const fs::path& file = indexed.response.body.front().file;
        // A block-file cache keeps its separate files in its folder: opened
        // there by name, without a walk of the whole path.
        if (cacheFiles_ && current_.kind == UrlCacheSource::Kind::ChromiumBlockFile)
            own = std::make_unique<FileByteSource>(cacheFiles_->FolderFd(),
                                                   cacheFiles_->OpenName(file.filename().string()).c_str());
        else
            own = std::make_unique<FileByteSource>(file);
        if (stamp != nullptr)
            *stamp = own->Stamp();
        return own->IsOpen() ? own.get() : nullptr;
    }

    // Runs on a read-ahead worker, for an entry its look left open (a movie,
    // or what a look cannot tell): reads it whole from what the index and the
    // cache's files hold, a separate file opened of its own.
    IndexedGlance GlanceAtBlockFileEntry(std::size_t nth)
    {
        IndexedGlance glance;
        IndexedCacheEntry indexed;
        if (!BlockFileResponse(*cacheFiles_, *blockIndex_, nth, indexed, &glance.damage))
            return glance;
        const CachedResponse& response = indexed.response;
        const fs::path body = IndexedContainer(indexed);
        std::unique_ptr<FileByteSource> own;
        FileStamp stamp;
        const ByteSource* opened = OpenIndexedBody(indexed, own, &stamp);
        if (!response.body.empty() && opened == nullptr)
            return glance;
        const std::optional<bool> movie = IsMovieResponse(response, opened, body);
        if (!movie)
            return glance;
        glance.kind = *movie ? EntryGlance::Kind::Movie : EntryGlance::Kind::Other;
        glance.storedSize = response.StoredSize();
        if (*movie) {
            glance.movie = std::move(indexed);
            glance.movieBody = std::move(own);
            glance.movieStamp = stamp;
        } else {
            glance.container = body.string();
        }
        return glance;
    }

    // A block-file entry read ahead: one that is no movie, or a movie,
    // checked out here.
    bool YieldGlance(IndexedGlance& glance, UrlCacheEntry& entry)
    {
        if (glance.damage.count != 0)
            damaged_.Note(glance.damage.firstFile, glance.damage.firstReason);
        if (glance.kind == EntryGlance::Kind::Other) {
            entry.localFileName = std::move(glance.container);
            entry.size = glance.storedSize;
            return true;
        }
        return glance.kind == EntryGlance::Kind::Movie &&
               ReadIndexed(glance.movie, entry, glance.movieBody, glance.movieStamp);
    }

    // The file an entry that is no movie is yielded as: its body's, or the index.
    std::string LookedContainer(const BlockFileLook& look) const
    {
        return blockFolderPrefix_ +
               (look.bodyLength == 0 ? "index" : BlockFileBodyName(look.bodySeparate, look.bodyFile));
    }

    void Note(const std::string& fault)
    {
        if (problems_.size() < kMaxProblems)
            problems_.push_back(current_.folder.string() + ": " + fault);
    }

    // An entry of a block-file cache or a projector's movie: its container is
    // the file its body starts in (the index or map when it has none). A
    // read-ahead worker may have opened its own file already (openedBody).
    bool ReadIndexed(const IndexedCacheEntry& indexed, UrlCacheEntry& entry,
                     const std::shared_ptr<FileByteSource>& openedBody = nullptr, FileStamp openedStamp = {})
    {
        const CachedResponse& response = indexed.response;
        const fs::path body = IndexedContainer(indexed);
        std::unique_ptr<FileByteSource> own;
        FileStamp stamp = openedStamp;
        const ByteSource* opened = openedBody ? openedBody.get() : OpenIndexedBody(indexed, own, &stamp);
        if (!response.body.empty() && opened == nullptr)
            return false;
        // Entries share a block file: each is known by where its body starts.
        const std::string cacheId =
            indexed.bodyInSharedFile ? body.string() + "#" + std::to_string(indexed.bodyOffset) : body.string();
        if (records_.Has(cacheId))
            present_.insert(cacheId);
        if (!YieldResponse(response, body, cacheId, stamp, opened, body, entry))
            return false;
        if (!entry.url.empty()) {
            entry.browser = BrowserOfSource(current_, locations_);
            entry.time = indexed.time;
        }
        return true;
    }

    // An Internet Explorer record: its container is index.dat, its body a
    // file of its own. The index vouches for a URL record: one cut, naming
    // no plain file, or whose file is gone is damage; one with no file
    // (history, cookies) is not for us.
    bool ReadIeRecord(std::uint32_t offset, UrlCacheEntry& entry)
    {
        IeCacheRecord record;
        CachedResponse response;
        if (const IeCacheResult result = ParseIeCacheRecord(*ieIndexFile_, offset, record);
            result != IeCacheResult::Ok) {
            if (result == IeCacheResult::BadRecord)
                damaged_.Note("index.dat", "bad record at " + std::to_string(offset));
            return false;
        }
        if (const IeCacheResult result = IeCacheResponse(ieIndex_, record, current_.folder, response);
            result != IeCacheResult::Ok) {
            if (result == IeCacheResult::BadFileName)
                damaged_.Note(record.fileName, ToString(result));
            return false;
        }
        // The body file is opened once: its stamp is the stamp of what is read.
        const fs::path body = response.body.front().file;
        const FileByteSource bodyFile(body);
        if (!bodyFile.IsOpen()) {
            damaged_.Note(body.lexically_relative(current_.folder).string(), "body file missing");
            return false;
        }
        if (records_.Has(body.string()))
            present_.insert(body.string());
        return YieldResponse(response, current_.folder / "index.dat", body.string(), bodyFile.Stamp(), &bodyFile, body,
                             entry);
    }

    // Checks a movie out and yields it; yields any other response as its
    // container. opened is the file of the body at openedPath, already open.
    bool YieldResponse(const CachedResponse& response, const fs::path& container, const std::string& cacheId,
                       const FileStamp& stamp, const ByteSource* opened, const fs::path& openedPath,
                       UrlCacheEntry& entry)
    {
        const std::optional<bool> movie = IsMovieResponse(response, opened, openedPath);
        if (!movie)
            return false;
        if (!*movie) {
            entry.localFileName = container.string();
            entry.size = response.StoredSize();
            return true;
        }

        // A ranged answer counts only when its ranges make the whole resource;
        // any other answer must be there as long as it said it would be.
        if (response.status == 206) {
            if (response.rangeTotal.value_or(response.contentLength.value_or(0)) != response.StoredSize())
                return false;
        } else if (response.contentLength && *response.contentLength > response.StoredSize()) {
            return false;
        }
        entry.url = response.url;
        present_.insert(cacheId);
        // An unchanged container gave this check-out before: not decoded again.
        if (const CheckoutRecords::Record* record = records_.FindCurrent(cacheId, stamp)) {
            records_.Pin(cacheId);
            checkedOut_.insert(record->checkout);
            entry.localFileName = record->checkout.string();
            entry.size = record->checkoutFile.size;
            return true;
        }
        if (records_.MadeRoom(cacheId))
            return false;
        return CheckOutInto(cacheId, response.url, stamp, entry,
                            [&](const fs::path& target, const CheckoutRoom& room, std::uint64_t& size) {
                                return CheckOutMovie(response, opened, openedPath, target, room, size);
                            });
    }

    // Writes a check-out through checkOut, each piece taken from the walk's
    // budget and made room for in the content folder, counting what this
    // check-out has written so far; records it and yields it.
    bool CheckOutInto(const std::string& cacheId, const std::string& url, const FileStamp& stamp, UrlCacheEntry& entry,
                      const std::function<bool(const fs::path&, const CheckoutRoom&, std::uint64_t&)>& checkOut)
    {
        const fs::path target = CheckoutPath(locations_.contentFolder, cacheId, url);
        std::uint64_t size = 0;
        FileStamp written;
        std::uint64_t writing = 0;
        const auto room = [this, &writing](std::uint64_t bytes) {
            if (Cancelled(locations_.cancelled) || bytes > budget_ || !records_.MakeRoom(writing + bytes))
                return false;
            budget_ -= bytes;
            writing += bytes;
            return true;
        };
        if (!checkOut(target, room, size) || !StampOf(target, written))
            return false;
        records_.Put(cacheId, {stamp, target, written});
        wroteCheckouts_ = true;
        checkedOut_.insert(target);
        entry.localFileName = target.string();
        entry.size = size;
        return true;
    }

    // A movie of a web archive: checked out as a cached one is, keyed by its
    // record; a revisit is the check-out of the record it points at.
    bool YieldArchivedMovie(const ArchivedMovie& movie, UrlCacheEntry& entry)
    {
        entry.url = movie.url;
        entry.time = movie.time;
        entry.archive = current_.folder.string();
        if (!movie.sameAs.empty()) {
            const auto earlier = archiveCheckouts_.find(movie.sameAs);
            if (earlier == archiveCheckouts_.end())
                return false;
            entry.localFileName = earlier->second.first.string();
            entry.size = earlier->second.second;
            return true;
        }
        present_.insert(movie.cacheId);
        const FileStamp& stamp = archive_->Stamp();
        if (const CheckoutRecords::Record* record = records_.FindCurrent(movie.cacheId, stamp)) {
            records_.Pin(movie.cacheId);
            checkedOut_.insert(record->checkout);
            entry.localFileName = record->checkout.string();
            entry.size = record->checkoutFile.size;
        } else if (records_.MadeRoom(movie.cacheId) ||
                   !CheckOutInto(movie.cacheId, movie.url, stamp, entry,
                                 [this](const fs::path& target, const CheckoutRoom& room, std::uint64_t& size) {
                                     return archive_->CheckOut(target, room, size);
                                 })) {
            return false;
        }
        if (archiveCheckouts_.size() < WebArchiveMovies::kMaxRemembered)
            archiveCheckouts_.emplace(movie.cacheId, std::make_pair(fs::path(entry.localFileName), entry.size));
        return true;
    }

    UrlCacheLocations locations_;
    // Listed while the caches are read, for the stale check-outs the end of
    // a walk removes.
    std::future<ContentListing> contentListing_;
    std::vector<UrlCacheSource> sources_;
    std::size_t sourceIndex_ = 0;
    UrlCacheSource current_{};
    std::unique_ptr<Descriptor> folder_;  // the source's folder, open
    std::vector<EntryFile> files_;
    std::size_t fileIndex_ = 0;
    // Declared after what its workers read, so it goes first.
    std::unique_ptr<OrderedReadAhead<EntryGlance>> readAhead_;
    std::unique_ptr<FolderCacheFiles> cacheFiles_;
    std::unique_ptr<BlockFileIndex> blockIndex_;
    std::vector<BlockFileLook> blockLooks_;  // by place in the index's order
    std::size_t blockNext_ = 0;              // the next of them to yield
    // Those a look did not settle, in order: read ahead on other threads.
    std::vector<std::size_t> blockUnsettled_;
    std::string blockFolderPrefix_;  // the folder of the block-file cache walked, with a separator
    // Declared after what its workers read, so it goes first.
    std::unique_ptr<OrderedReadAhead<IndexedGlance>> indexedReadAhead_;
    std::vector<IndexedCacheEntry> indexed_;
    std::size_t indexedIndex_ = 0;
    std::unique_ptr<FileByteSource> ieIndexFile_;
    IeCacheIndex ieIndex_;
    std::unique_ptr<WebArchiveMovies> archive_;
    std::vector<std::string> problems_;  // of the sources read so far
    DamagedEntries damaged_;             // of the current source
    // The current archive's movies checked out: what its revisits point at.
    std::map<std::string, std::pair<fs::path, std::uint64_t>> archiveCheckouts_;
    std::size_t ieRecordIndex_ = 0;
    std::set<fs::path> checkedOut_;
    CheckoutRecords records_;
    // Containers with a record that are still in their cache.
    std::set<std::string> present_;
    std::uint64_t budget_ = kMaxDecodedPerWalk;
    bool reachedEnd_ = false;
    bool wroteCheckouts_ = false;
    bool closed_ = false;
};

// The cache folders of the browser homes that lie outside the user's cache
// folder (snap and Flatpak installs keep theirs in their own trees), in the
// homes' order; the user's cache folder itself is searched whole.
std::vector<fs::path> BrowserCacheRoots(const fs::path& userCacheFolder)
{
    BrowserFolders folders;
    try {
        folders = BrowserFolders::OfCurrentUser();
    } catch (const std::runtime_error&) {
        return {};  // no home: only the user's cache folder
    }
    folders.cache = userCacheFolder;
    std::vector<fs::path> roots;
    for (const BrowserHome& home : BrowserHomes(folders)) {
        const bool insideUserCache =
            std::mismatch(userCacheFolder.begin(), userCacheFolder.end(), home.cache.begin(), home.cache.end()).first ==
            userCacheFolder.end();
        if (insideUserCache)
            continue;
        if (std::find(roots.begin(), roots.end(), home.cache) == roots.end() && IsRealFolder(home.cache))
            roots.push_back(home.cache);
    }
    return roots;
}

// An added folder: the Windows profiles on it first, as a home's cache folder
// is searched, then the whole folder deeper, projectors included; a cache
// found twice is walked once, where it was found first.
void SearchAddedFolder(const fs::path& root, const UrlCacheLocations& locations, FoundSources& found)
{
    for (const fs::path& profile : WindowsProfileCacheRoots(root)) {
        SearchBounds bounds{kMaxSearchDepth, kMaxSearchedFolders};
        Search(profile, 1, bounds, locations, found);
    }
    SearchBounds bounds{kMaxAddedFolderDepth, kMaxSearchedFolders, kMaxCheckedPrograms};
    Search(root, 1, bounds, locations, found);
}

}  // namespace

UrlCacheLocations DefaultUrlCacheLocations()
{
    UrlCacheLocations locations;
    locations.embeddedCache = EmbeddedBrowserCacheFolder() / "Cache" / "Cache_Data";
    locations.searchRoots = {ProgramCacheFolder().parent_path()};
    for (fs::path& root : BrowserCacheRoots(locations.searchRoots.front()))
        locations.searchRoots.push_back(std::move(root));
    locations.excluded = {ProgramCacheFolder()};
    locations.contentFolder = CacheContentFolder();
    locations.home = HomeFolder();
    return locations;
}

std::vector<UrlCacheSource> FindUrlCacheSources(const UrlCacheLocations& locations)
{
    std::vector<UrlCacheSource> sources;
    std::set<fs::path> seen;
    const auto append = [&](const std::vector<UrlCacheSource>& found) {
        for (const UrlCacheSource& source : found) {
            std::error_code error;
            const fs::path real = fs::weakly_canonical(source.folder, error);
            if (seen.insert(error ? source.folder : real).second)
                sources.push_back(source);
        }
    };
    if (!locations.embeddedCache.empty() && IsRealFolder(locations.embeddedCache))
        append({{UrlCacheSource::Kind::ChromiumSimple, locations.embeddedCache}});
    FoundSources own;
    for (const fs::path& root : locations.searchRoots) {
        if (Cancelled(locations.cancelled))
            return {};
        SearchBounds bounds{kMaxSearchDepth, kMaxSearchedFolders};
        Search(root, 1, bounds, locations, own);
    }
    if (!locations.home.empty()) {
        for (const fs::path& folder : WinePrefixIeCacheFolders(locations.home))
            own.internetExplorer.push_back({UrlCacheSource::Kind::InternetExplorer, folder});
    }
    append(own.chromium);
    append(own.firefox);
    append(own.internetExplorer);
    for (const fs::path& root : locations.addedFolders) {
        if (Cancelled(locations.cancelled))
            return {};
        FoundSources added;
        UrlCacheSource source;
        std::error_code error;
        if (fs::is_regular_file(root, error)) {
            // One file given by itself: a web archive or a projector.
            AddGivenFile(root, added);
        } else if (!fs::is_directory(root, error)) {
            continue;
        } else if (CacheSourceOfAddedFolder(root, source)) {
            Add(source, added);
        } else {
            SearchAddedFolder(root, locations, added);
            SearchWebArchives(root, locations, added);
        }
        append(added.chromium);
        append(added.firefox);
        append(added.internetExplorer);
        append(added.projectors);
        append(added.archives);
    }
    return sources;
}

std::unique_ptr<UrlCacheEnumeration> OpenUrlCacheEnumeration(const UrlCacheLocations& locations)
{
    return std::make_unique<BrowserCacheEnumeration>(locations);
}

std::unique_ptr<UrlCacheEnumeration> OpenUrlCacheEnumeration()
{
    return OpenUrlCacheEnumeration(DefaultUrlCacheLocations());
}

}  // namespace tessaro
