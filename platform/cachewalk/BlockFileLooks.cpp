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

}  // namespace

std::vector<BlockFileLook> LookAtBlockFileCache(CacheFiles& files, const BlockFileIndex& index, int threads,
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
        threads, cancelled);
    std::vector<FilePiece> prefixes;
    for (std::size_t nth = 0; nth < looks.size(); ++nth) {
        const BlockFileLook& look = looks[nth];
        if (look.verdict != Verdict::BySignature || look.bodySeparate)
            continue;
        const std::uint64_t wanted = look.contentEncoding.empty() ? kSignatureLength : kCodedPrefixLength;
        prefixes.push_back(
            {look.bodySource, look.bodyOffset, static_cast<std::uint32_t>(std::min(wanted, look.bodyLength)), nth});
    }
    ReadPieces(
        std::move(prefixes),
        [&looks](const FilePiece& piece, std::optional<std::string_view> bytes) {
            BlockFileLook& look = looks[piece.tag];
            const std::optional<bool> movie = bytes ? HasMovieSignature(look.contentEncoding,
                                                                        [&](std::size_t length, std::string& prefix) {
                                                                            prefix.assign(bytes->substr(0, length));
                                                                            return true;
                                                                        })
                                                    : std::nullopt;
            look.verdict = movie && !*movie ? Verdict::Other : Verdict::Unknown;
        },
        threads, cancelled);
    return looks;
}

bool IsSettledNoMovie(const FolderCacheFiles& files, const BlockFileLook& look)
{
    if (look.verdict == Verdict::Other)
        return true;
    if (look.verdict != Verdict::BySignature || !look.bodySeparate)
        return false;
    const std::string name = BlockFileBodyName(true, look.bodyFile);
    const FileByteSource body(files.FolderFd(), files.OpenName(name).c_str());
    if (!body.IsOpen() || body.Size() < look.bodyLength)
        return false;
    const std::optional<bool> movie =
        HasMovieSignature(look.contentEncoding, [&](std::size_t length, std::string& prefix) {
            prefix.clear();
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(length, look.bodyLength));
            return take == 0 || body.Read(0, take, prefix);
        });
    return movie && !*movie;
}

}  // namespace tessaro
