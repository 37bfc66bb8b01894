#pragma once

#include "formats/urlcache/ByteSource.h"
#include "formats/urlcache/CachedResponse.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tessaro {

// Whether a cached response is a Flash movie: a successful (or non-HTTP)
// complete response whose URL file name ends in ".swf", or whose URL file
// name has no extension and whose Content-Type is application/x-shockwave-flash,
// or whose decoded body starts with a SWF signature (FWS, CWS, ZWS).
bool IsFlashResponse(const CachedResponse& response, std::string_view decodedPrefix);

// The fields that rule looks at, for a head read in place.
struct ResponseFacts {
    int status = 0;
    bool truncated = false;
    std::string_view url;
    std::string_view contentType;
};
bool IsFlashResponse(const ResponseFacts& facts, std::string_view decodedPrefix);
ResponseFacts FactsOf(const CachedResponse& response);

// The plain file a Flash entry is checked out to:
// <content folder>/<8 characters>/<name>[1].swf. The 8 characters come from
// the cache and the URL, so one entry always lands on the same path and the
// same URL in two caches does not. The name is text whatever the cache key
// holds: valid UTF-8 (other bytes are written as "%XX"), no control
// character, no character that turns text around, no "/", never hidden.
std::filesystem::path CheckoutPath(const std::filesystem::path& contentFolder, std::string_view cacheId,
                                   std::string_view url);

// Whether path is one CheckoutPath could give for some entry: the check-out
// records name no other file, so no other file is kept or removed for them.
bool IsCheckoutPath(const std::filesystem::path& contentFolder, const std::filesystem::path& path);

enum class CheckoutResult {
    Written,    // the file was missing or different and now holds the bytes
    Unchanged,  // the file already held exactly these bytes
    Failed,     // could not be written; nothing half-written is left
};

// A checked-out movie is at most this long, decoded.
constexpr std::uint64_t kMaxCheckoutBytes = std::uint64_t(128) << 20;

// Asked for room for each decoded piece before it is written: false stops
// the check-out (the walk's budget is spent, or the content folder is full).
using CheckoutRoom = std::function<bool(std::uint64_t bytes)>;

// Decodes an entry's stored body into its check-out as it is read (the
// segments in openedPath through opened, which the caller holds): the
// content coding undone piece by piece (never past the decoder's ratio),
// each piece given to a movie check and written to a temporary file that
// takes the target's place only when the body is one whole movie of at most
// kMaxCheckoutBytes. False when the entry gave no movie; nothing is left
// behind then. size is the check-out's length.
bool CheckOutMovie(const CachedResponse& response, const ByteSource* opened, const std::filesystem::path& openedPath,
                   const std::filesystem::path& target, const CheckoutRoom& room, std::uint64_t& size);

// A body's stored (still content-coded) bytes, handed piece by piece to the
// function given, which returns false to stop; true when every piece came.
using StoredBody = std::function<bool(const std::function<bool(std::string_view)>& piece)>;

// The same check-out for a body from anywhere (a web archive's record):
// storedLength bounds what an uncompressed movie may declare.
bool CheckOutMovieBody(std::string_view contentEncoding, std::uint64_t storedLength, const StoredBody& body,
                       const std::filesystem::path& target, const CheckoutRoom& room, std::uint64_t& size);

// Writes the bytes to the path through an AtomicFile, only when the file is
// missing or different.
CheckoutResult WriteCheckout(const std::filesystem::path& path, std::string_view bytes);

// What the content folder holds, listed once (a walk lists it while it reads
// the caches): its files, and its folders, each before what it holds.
struct ContentListing {
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> folders;
};
ContentListing ListContentFolder(const std::filesystem::path& contentFolder);

// Removes every listed file that is not in keep, and the listed folders left
// empty; what came into the folder after the listing stays.
void RemoveStaleCheckouts(const ContentListing& listing, const std::set<std::filesystem::path>& keep);

}  // namespace tessaro
