#include "platform/cachewalk/BlockFileLooks.h"

#include "formats/coding/HttpHead.h"
#include "formats/urlcache/ChromiumResponseInfo.h"
#include "formats/urlcache/PieceReads.h"
#include "platform/cachewalk/MovieBody.h"

#include <algorithm>

namespace tessaro {

namespace {

using Verdict = BlockFileLook::Verdict;

// The verdict a head gives: a movie by its address or type (Unknown: read
// in full), no movie whatever its body (an error page, a cut body), or one
// left to the body's first bytes.
Verdict HeadVerdict(const BlockFileHead& head, const HttpHead& http)
{
    const ResponseFacts facts{http.status, head.truncated, ChromiumKeyUrl(head.key), http.contentType};
    if (http.status == 0 || IsFlashResponse(facts, ""))
        return Verdict::Unknown;
    if (!IsFlashResponse(facts, "FWS") || head.bodyLength == 0)
        return Verdict::Other;
    return Verdict::BySignature;
}

// The verdict of a body by its first bytes (start: as many as were read of
// those a look reads): Unknown for a coded body whose first bytes do not
// decode from them, the full read then tells.
Verdict StartVerdict(std::string_view start, const BlockFileLook& look)
{
    const std::optional<bool> movie =
        HasMovieSignature(look.contentEncoding, [&](std::size_t length, std::string& prefix) {
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(length, look.bodyLength));
            if (take > start.size())
                return false;
            prefix.assign(start.substr(0, take));
            return true;
        });
    return movie && !*movie ? Verdict::Other : Verdict::Unknown;
}

// How many of a body's first bytes a look reads.
std::uint64_t StartLength(const BlockFileLook& look)
{
    return std::min<std::uint64_t>(look.contentEncoding.empty() ? kSignatureLength : kShortCodedPrefixLength,
                                   look.bodyLength);
}

}  // namespace

std::vector<BlockFileLook> LookAtBlockFileCache(CacheFiles& files, const BlockFileIndex& index,
                                                SeparateBodyStarts& separate, int threads,
                                                const std::atomic<bool>* cancelled)
{
    std::vector<BlockFileLook> looks(index.order.size());
    LookAtBlockFileEntries(
        files, index,
        [&looks](std::size_t nth, const BlockFileHead& head) {
            const HttpHead http = ParseHttpHead(head.head, std::string_view("\0", 1));
            BlockFileLook& look = looks[nth];
            look.verdict = HeadVerdict(head, http);
            look.bodySeparate = head.bodySeparate;
            look.bodyFile = head.bodyFile;
            look.bodyOffset = head.bodyOffset;
            look.bodyLength = head.bodyLength;
            look.bodySource = head.bodySource;
            if (look.verdict == Verdict::BySignature)
                look.contentEncoding.assign(http.contentEncoding);
        },
        threads, cancelled, [&separate] { separate.ReadRest(); });
    for (BlockFileLook& look : looks) {
        if (look.verdict != Verdict::BySignature || !look.bodySeparate)
            continue;
        // A file shorter than its body is the full read's to note.
        const SeparateBodyStarts::Start* start = separate.Find(look.bodyFile);
        look.verdict = start != nullptr && start->opened && start->size >= look.bodyLength
                           ? StartVerdict(start->bytes, look)
                           : Verdict::Unknown;
    }
    std::vector<FilePiece> prefixes;
    for (std::size_t nth = 0; nth < looks.size(); ++nth) {
        const BlockFileLook& look = looks[nth];
        if (look.verdict != Verdict::BySignature)
            continue;
        prefixes.push_back({look.bodySource, look.bodyOffset, static_cast<std::uint32_t>(StartLength(look)), nth});
    }
    ReadPieces(
        std::move(prefixes),
        [&looks](const FilePiece& piece, std::optional<std::string_view> bytes) {
            BlockFileLook& look = looks[piece.tag];
            look.verdict = bytes ? StartVerdict(*bytes, look) : Verdict::Unknown;
        },
        threads, cancelled);
    return looks;
}

}  // namespace tessaro
