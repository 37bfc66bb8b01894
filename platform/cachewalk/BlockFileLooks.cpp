#include "platform/cachewalk/BlockFileLooks.h"

#include "formats/coding/HttpHead.h"
#include "formats/urlcache/ChromiumResponseInfo.h"
#include "formats/urlcache/PieceReads.h"
#include "platform/cachewalk/MovieBody.h"
#include "platform/core/BatchedReads.h"

#include <algorithm>
#include <array>
#include <span>

namespace tessaro {

namespace {

using Verdict = BlockFileLook::Verdict;

// Separate files a thread opens before it takes more.
constexpr std::size_t kSeparateBatch = BatchedReads::kBatchFiles;

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

// The first bytes of a body kept in a separate file, read while the heads
// are: nearly every such body is looked at, and opening its file costs more
// than anything else a look does.
struct SeparateStart {
    std::size_t nth = 0;
    std::uint32_t file = 0;
    bool opened = false;
    std::uint64_t size = 0;
    std::string bytes;  // at most kShortCodedPrefixLength
};

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

std::vector<BlockFileLook> LookAtBlockFileCache(FolderCacheFiles& files, const BlockFileIndex& index, int threads,
                                                const std::atomic<bool>* cancelled)
{
    std::vector<BlockFileLook> looks(index.order.size());
    std::vector<SeparateStart> separate;
    for (std::size_t nth = 0; nth < index.order.size(); ++nth) {
        if (const std::optional<std::uint32_t> file = SeparateBodyFile(index.entries[index.order[nth]]))
            separate.push_back({nth, *file, false, 0, {}});
    }
    // Threads that have read their share of the heads open separate files,
    // a batch at a time.
    std::atomic<std::size_t> nextSeparate{0};
    const auto readSeparateStarts = [&] {
        BatchedReads reader;
        std::array<std::string, kSeparateBatch> names;
        std::array<FileStart, kSeparateBatch> batch;
        std::vector<char> room(kSeparateBatch * kShortCodedPrefixLength);
        for (std::size_t from; (from = nextSeparate.fetch_add(kSeparateBatch)) < separate.size();) {
            if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed))
                return;
            const std::size_t count = std::min(kSeparateBatch, separate.size() - from);
            for (std::size_t at = 0; at < count; ++at) {
                names[at] = files.OpenName(BlockFileBodyName(true, separate[from + at].file));
                batch[at] =
                    FileStart{names[at].c_str(), kShortCodedPrefixLength, room.data() + at * kShortCodedPrefixLength};
            }
            reader.ReadStarts(files.FolderFd(), std::span(batch.data(), count));
            for (std::size_t at = 0; at < count; ++at) {
                SeparateStart& start = separate[from + at];
                start.opened = batch[at].result == RegularFileResult::Ok;
                start.size = batch[at].size;
                start.bytes.assign(batch[at].out, batch[at].got);
            }
        }
    };
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
        threads, cancelled, readSeparateStarts);
    for (const SeparateStart& start : separate) {
        BlockFileLook& look = looks[start.nth];
        // A file shorter than its body is the full read's to note.
        if (look.verdict == Verdict::BySignature)
            look.verdict =
                start.opened && start.size >= look.bodyLength ? StartVerdict(start.bytes, look) : Verdict::Unknown;
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
