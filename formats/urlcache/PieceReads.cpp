#include "formats/urlcache/PieceReads.h"

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

namespace tessaro {

namespace {

constexpr std::uint64_t kWindowBytes = std::uint64_t(1) << 20;
// Bytes between two pieces cost less to read than a call of their own.
constexpr std::uint64_t kJoinedGapBytes = 16 * 1024;

bool Fits(const FilePiece& piece)
{
    return piece.source != nullptr && piece.length <= kMaxPieceBytes && piece.offset <= piece.source->Size() &&
           piece.length <= piece.source->Size() - piece.offset;
}

void ReadRun(const FilePiece* begin, const FilePiece* end, const TakePiece& take, const std::atomic<bool>* cancelled)
{
    // Only for files not held in memory.
    std::unique_ptr<char[]> buffer;
    for (const FilePiece* piece = begin; piece != end;) {
        if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed))
            return;
        if (!Fits(*piece)) {
            take(*piece, std::nullopt);
            ++piece;
            continue;
        }
        // The window: this piece and those after it that lie close enough
        // and end inside it.
        const std::uint64_t start = piece->offset;
        std::uint64_t stop = start + piece->length;
        const FilePiece* last = piece + 1;
        for (; last != end && last->source == piece->source && Fits(*last) && last->offset <= stop + kJoinedGapBytes &&
               last->offset + last->length <= start + kWindowBytes;
             ++last)
            stop = std::max(stop, last->offset + last->length);
        const auto length = static_cast<std::size_t>(stop - start);
        std::optional<std::string_view> bytes = piece->source->View(start, length);
        if (!bytes && !buffer)
            buffer.reset(new char[kWindowBytes]);
        if (!bytes && piece->source->ReadInto(start, length, buffer.get()))
            bytes = std::string_view(buffer.get(), length);
        for (; piece != last; ++piece) {
            if (bytes)
                take(*piece, bytes->substr(static_cast<std::size_t>(piece->offset - start), piece->length));
            else
                take(*piece, std::nullopt);
        }
    }
}

}  // namespace

void ReadPieces(std::vector<FilePiece> pieces, const TakePiece& take, int threads, const std::atomic<bool>* cancelled)
{
    std::sort(pieces.begin(), pieces.end(), [](const FilePiece& a, const FilePiece& b) {
        if (a.source != b.source)
            return std::less<>()(a.source, b.source);
        return a.offset != b.offset ? a.offset < b.offset : a.length < b.length;
    });
    // Each thread takes a run of pieces of about equal count: a run starts
    // a window of its own, so a cut costs at most one more read.
    const std::size_t runs = std::clamp<std::size_t>(std::size_t(std::max(threads, 1)), 1, 1 + pieces.size() / 1024);
    const std::size_t share = (pieces.size() + runs - 1) / runs;
    std::vector<std::jthread> helpers;
    for (std::size_t run = 1; run < runs; ++run) {
        const std::size_t from = std::min(pieces.size(), run * share), to = std::min(pieces.size(), from + share);
        helpers.emplace_back([&, from, to] { ReadRun(pieces.data() + from, pieces.data() + to, take, cancelled); });
    }
    ReadRun(pieces.data(), pieces.data() + std::min(pieces.size(), share), take, cancelled);
}

}  // namespace tessaro
