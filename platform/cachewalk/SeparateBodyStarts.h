#pragma once

#include "formats/urlcache/CacheFiles.h"
#include "formats/urlcache/ChromiumBlockFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace tessaro {

// The first bytes of the bodies a block-file cache keeps in separate files
// (f_<number>), read on a thread of its own while the index is still read
// (Add, from the walk's steps), and by whoever calls ReadRest once it is:
// opening thousands of small files costs more than anything else a look at
// the cache does, and the index is read on one thread.
class SeparateBodyStarts {
public:
    struct Start {
        std::uint32_t number = 0;
        bool opened = false;  // a regular file, its first bytes read
        std::uint64_t size = 0;
        std::string bytes;  // at most kShortCodedPrefixLength
    };

    // Files read ahead at most (their starts are held until the looks): a
    // body past them is read in full instead.
    static constexpr std::size_t kMaxFiles = std::size_t(1) << 16;

    SeparateBodyStarts(const FolderCacheFiles& files, const std::atomic<bool>* cancelled,
                       std::size_t maxFiles = kMaxFiles);
    ~SeparateBodyStarts();
    SeparateBodyStarts(const SeparateBodyStarts&) = delete;
    SeparateBodyStarts& operator=(const SeparateBodyStarts&) = delete;

    // The separate bodies of entries the walk found; each file is read once,
    // the first maxFiles of them.
    void Add(std::span<const BlockFileEntry> entries);
    // No more come: reads what is left on the calling thread too (several
    // may call it at once) and returns once every file is read, or cancelled.
    void ReadRest();
    // After ReadRest: the start of f_<number>, or null when it was not asked for.
    const Start* Find(std::uint32_t number) const;

private:
    void Work(bool untilClosed);

    const FolderCacheFiles& files_;
    const std::atomic<bool>* cancelled_;
    const std::size_t maxFiles_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint32_t> wanted_;
    std::unordered_set<std::uint32_t> asked_;
    std::size_t next_ = 0;     // the first of wanted_ no thread took yet
    std::size_t reading_ = 0;  // batches taken and not finished
    bool closed_ = false;
    bool sorted_ = false;
    std::vector<Start> starts_;  // by number once sorted
    std::jthread reader_;
};

}  // namespace tessaro
