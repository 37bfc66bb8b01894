#include "platform/cachewalk/WebArchiveMovies.h"

#include "formats/coding/BodyDecoder.h"
#include "formats/urlcache/CachedResponse.h"

namespace tessaro {

namespace {

// Enough content-coded bytes to give the first bytes of the decoded body.
constexpr std::size_t kCodedPrefixLength = 4096;
constexpr std::size_t kSignatureLength = 3;

// A digest of one way of naming a record, the kind of name mixed in so that
// an id never matches an address.
std::uint64_t NameDigest(char kind, std::string_view name)
{
    std::uint64_t hash = 14695981039346656037ull ^ static_cast<unsigned char>(kind);
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

}  // namespace

WebArchiveMovies::WebArchiveMovies(const std::filesystem::path& archive, WebArchiveKind kind,
                                   const std::atomic<bool>* cancelled)
    : records_(archive, kind, cancelled)
{
}

WebArchiveMovies::~WebArchiveMovies() = default;

std::string WebArchiveMovies::Earlier(const ArchiveRecord& revisit) const
{
    const auto find = [this](char kind, const std::string& name) {
        const auto it = name.empty() ? byName_.end() : byName_.find(NameDigest(kind, name));
        return it == byName_.end() ? std::string() : remembered_[it->second];
    };
    std::string earlier = find('i', revisit.refersTo);
    if (earlier.empty() && !revisit.refersToUri.empty())
        earlier = find('c', revisit.refersToUri + "\n" + revisit.refersToDate);
    if (earlier.empty())
        earlier = find('d', revisit.payloadDigest);
    return earlier;
}

void WebArchiveMovies::Remember(const ArchiveRecord& record, const std::string& cacheId)
{
    if (remembered_.size() >= kMaxRemembered)
        return;
    const auto index = static_cast<std::uint32_t>(remembered_.size());
    remembered_.push_back(cacheId);
    if (!record.id.empty())
        byName_.emplace(NameDigest('i', record.id), index);
    byName_.emplace(NameDigest('c', record.uri + "\n" + record.date), index);
    if (!record.payloadDigest.empty())
        byName_.emplace(NameDigest('d', record.payloadDigest), index);
}

// By its address, its type or its first bytes, as a cached response is.
bool WebArchiveMovies::IsMovie(const ArchiveRecord& record)
{
    if (record.length > kMaxMovieRecord)
        return false;
    prefix_.clear();
    std::string_view piece;
    const std::size_t want = record.contentEncoding.empty() ? kSignatureLength : kCodedPrefixLength;
    while (prefix_.size() < want && records_.Reader().ReadPayload(piece, want - prefix_.size()))
        prefix_.append(piece);
    std::string signature = prefix_.substr(0, kSignatureLength);
    if (!record.contentEncoding.empty() &&
        DecodeBodyPrefix(record.contentEncoding, prefix_, kSignatureLength, signature) != DecodeResult::Ok)
        signature.clear();
    CachedResponse response;
    response.url = record.uri;
    response.status = record.status;
    response.contentType = record.status != 0 ? record.contentType : record.blockType;
    return IsFlashResponse(response, signature);
}

bool WebArchiveMovies::Next(ArchivedMovie& movie)
{
    ArchiveRecord record;
    current_ = false;
    while (records_.Next(record)) {
        const bool revisit = record.type == ArchiveRecord::Type::Revisit;
        if (!revisit && record.type != ArchiveRecord::Type::Response && record.type != ArchiveRecord::Type::Resource)
            continue;
        movie = ArchivedMovie();
        movie.url = record.uri;
        movie.time = record.time;
        movie.cacheId = records_.RecordKey(record);
        if (revisit) {
            movie.sameAs = Earlier(record);
            if (movie.sameAs.empty())
                continue;
            return true;
        }
        if (!IsMovie(record))
            continue;
        contentEncoding_ = record.contentEncoding;
        length_ = record.length;
        Remember(record, movie.cacheId);
        current_ = true;
        return true;
    }
    return false;
}

bool WebArchiveMovies::CheckOut(const std::filesystem::path& target, const CheckoutRoom& room, std::uint64_t& size)
{
    if (!current_)
        return false;
    current_ = false;
    ArchiveReader& reader = records_.Reader();
    return CheckOutMovieBody(
        contentEncoding_, length_,
        [this, &reader](const std::function<bool(std::string_view)>& piece) {
            if (!prefix_.empty() && !piece(prefix_))
                return false;
            std::string_view next;
            while (reader.ReadPayload(next)) {
                if (!piece(next))
                    return false;
            }
            return reader.PayloadWhole();
        },
        target, room, size);
}

}  // namespace tessaro
