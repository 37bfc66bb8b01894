#pragma once

#include "platform/cachewalk/CacheCheckout.h"
#include "platform/cachewalk/WebArchiveRecords.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessaro {

// A record of a web archive that is a movie by the cache page's rules.
struct ArchivedMovie {
    std::string url;
    std::int64_t time = 0;  // the capture, seconds since 1970
    // The record's key among the check-outs: the archive, the WARC file's
    // place in a package, the record's place in its file.
    std::string cacheId;
    // A revisit: the key of the earlier record of the archive whose payload it is.
    std::string sameAs;
};

// The movies of one web archive file (WARC or ARC, plain or compressed, or a
// WACZ package's WARC files in turn), one record at a time. A record's
// payload is read only as far as the movie test needs, unless it is a movie.
class WebArchiveMovies {
public:
    // Earlier movies remembered for revisits to point at.
    static constexpr std::size_t kMaxRemembered = 100000;
    // A record whose block is longer cannot hold a movie the check-out keeps.
    static constexpr std::uint64_t kMaxMovieRecord = kMaxCheckoutBytes + (std::uint64_t(1) << 20);

    WebArchiveMovies(const std::filesystem::path& archive, WebArchiveKind kind,
                     const std::atomic<bool>* cancelled = nullptr);
    ~WebArchiveMovies();

    // The archive file as it was opened.
    const FileStamp& Stamp() const { return records_.Stamp(); }
    // The next movie; false at the end of the archive (or once cancelled).
    bool Next(ArchivedMovie& movie);
    // Why the archive's reading ended early, when it did (WebArchiveRecords::Problems).
    const std::vector<std::string>& Problems() const { return records_.Problems(); }
    // Decodes the rest of the movie Next gave into its check-out.
    bool CheckOut(const std::filesystem::path& target, const CheckoutRoom& room, std::uint64_t& size);

private:
    bool IsMovie(const ArchiveRecord& record);
    std::string Earlier(const ArchiveRecord& revisit) const;
    void Remember(const ArchiveRecord& record, const std::string& cacheId);

    WebArchiveRecords records_;
    bool current_ = false;  // Next gave a movie whose payload is still to be read
    // The current movie: its coding and the payload's first bytes, already read.
    std::string contentEncoding_;
    std::string prefix_;
    std::uint64_t length_ = 0;
    // Each remembered movie's key once; the lookups hold 64-bit digests of
    // what a revisit may name it by (its id, its address and date, its
    // payload's digest), so a long address costs nothing per lookup.
    std::vector<std::string> remembered_;
    std::unordered_map<std::uint64_t, std::uint32_t> byName_;
};

}  // namespace tessaro
