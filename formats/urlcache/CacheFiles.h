#pragma once

#include "formats/urlcache/ByteSource.h"
#include "formats/urlcache/CachedResponse.h"

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

namespace tessaro {

// The files of a cache that keeps its entries in a few shared files (an index
// or map and block files): each is opened once, when first asked for, and a
// small one is read whole at once, so a walk over thousands of entries reads
// each shared file once. A walk reads entries on several threads: the files
// of a folder may be asked for from several at once.
class CacheFiles {
public:
    virtual ~CacheFiles() = default;
    // The file called name (a plain name or a relative path); null when it
    // is missing or cannot be read.
    virtual const ByteSource* Open(const std::string& name) = 0;
    // The length of the file called name, without reading it.
    virtual std::optional<std::uint64_t> SizeOf(const std::string& name) = 0;
    virtual std::filesystem::path PathOf(const std::string& name) const = 0;
    // The names of the regular files in the cache folder and the two folder
    // levels below it (where separate entry files lie), sorted; links are not
    // followed. The walk stops after limit names, folders included.
    virtual std::vector<std::string> ListNames(std::size_t limit) const = 0;
    // Lets go of a file opened before, its descriptor and bytes: a reader
    // going through many separate files keeps one open at a time.
    virtual void Close(const std::string& name) = 0;
};

// Memory holding a whole file's bytes: mapped when large, else allocated.
struct FileBytesDeleter {
    std::size_t mappedLength = 0;  // 0: allocated
    void operator()(char* bytes) const;
};
using FileBytes = std::unique_ptr<char, FileBytesDeleter>;

class FolderCacheFiles : public CacheFiles {
public:
    // Files up to wholeFileBytes long are read whole when opened; longer ones
    // in windows. A reader that reads its files front to back in windows of
    // its own (ReadPieces) takes nothing whole: a fresh copy of tens of MiB
    // costs more than reading them twice through a small buffer.
    static constexpr std::uint64_t kWholeFileBytes = std::uint64_t(64) << 20;

    explicit FolderCacheFiles(std::filesystem::path folder, std::uint64_t wholeFileBytes = kWholeFileBytes);
    const ByteSource* Open(const std::string& name) override;
    std::optional<std::uint64_t> SizeOf(const std::string& name) override;
    std::filesystem::path PathOf(const std::string& name) const override { return folder_ / name; }
    std::vector<std::string> ListNames(std::size_t limit) const override;
    void Close(const std::string& name) override;
    // The size and time the file had when it was opened; empty before.
    FileStamp StampOf(const std::string& name) const;
    // The folder, open: a file of it opened by name needs no walk of the
    // whole path (FileByteSource(FolderFd(), name)).
    int FolderFd() const { return folderFd_.Valid() ? folderFd_.Get() : AT_FDCWD; }
    // name as FileByteSource opens it inside FolderFd().
    std::string OpenName(const std::string& name) const;

private:
    struct Opened {
        std::unique_ptr<FileByteSource> file;
        FileBytes bytes;  // the whole file, when it was small enough
        std::unique_ptr<MemoryByteSource> memory;
    };
    std::filesystem::path folder_;
    Descriptor folderFd_;
    std::uint64_t wholeFileBytes_;
    static const ByteSource* Source(const Opened& opened);

    mutable std::shared_mutex mutex_;  // guards opened_; what it holds is only read once opened
    std::map<std::string, Opened> opened_;
};

// The same over bytes in memory, for tests and fuzzing.
class MemoryCacheFiles : public CacheFiles {
public:
    explicit MemoryCacheFiles(std::map<std::string, std::string> files, std::filesystem::path folder = "/cache")
        : files_(std::move(files)), folder_(std::move(folder))
    {
    }
    const ByteSource* Open(const std::string& name) override;
    std::optional<std::uint64_t> SizeOf(const std::string& name) override;
    std::filesystem::path PathOf(const std::string& name) const override { return folder_ / name; }
    std::vector<std::string> ListNames(std::size_t limit) const override;
    void Close(const std::string& name) override { sources_.erase(name); }

private:
    std::map<std::string, std::string> files_;
    std::map<std::string, std::unique_ptr<MemoryByteSource>> sources_;
    std::filesystem::path folder_;
};

// One entry of a cache read through its index: the response, when the
// browser last wrote it (seconds since 1970, 0 when unknown), and the name
// of the file its body starts in (among the cache's files).
struct IndexedCacheEntry {
    CachedResponse response;
    std::int64_t time = 0;
    std::string bodyFile;
    std::uint64_t bodyOffset = 0;
    // The body lies in a block file that other entries share.
    bool bodyInSharedFile = false;
    // That file, as the reader holds it open; null when it is to be opened by name.
    const ByteSource* bodySource = nullptr;
};

}  // namespace tessaro
