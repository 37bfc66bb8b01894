#include "formats/urlcache/PieceReads.h"

#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <mutex>

namespace tessaro {
namespace {

// A file's bytes that counts what is read of it.
class CountingSource : public MemoryByteSource {
public:
    using MemoryByteSource::MemoryByteSource;
    std::optional<std::string_view> View(std::uint64_t, std::size_t) const override { return std::nullopt; }
    bool ReadInto(std::uint64_t offset, std::size_t length, char* out) const override
    {
        read += length;
        return ByteSource::ReadInto(offset, length, out);
    }
    mutable std::atomic<std::uint64_t> read{0};
};

// Every piece gets its own bytes or nothing, once, whatever the layout,
// through memory, windows read from a file, and several threads; and the
// bytes read stay within twice the file however the pieces overlap.
TEST(PieceReadsTest, GivesEachPieceItsBytesReadingEachByteAtMostTwice)
{
    std::string bytes(std::size_t(5) << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 4093);
    const test::TempDir dir;
    std::ofstream(dir.path() / "data_3", std::ios::binary) << bytes;
    const FileByteSource file(dir.path() / "data_3");
    const MemoryByteSource memory(bytes);
    const CountingSource counting(bytes);
    const std::uint64_t size = bytes.size();

    struct Layout {
        const char* name;
        std::vector<std::pair<std::uint64_t, std::uint32_t>> pieces;  // offset, length
        int threads;
    };
    std::vector<Layout> layouts = {
        {"apart, close, touching, repeated", {{9000, 3}, {0, 300}, {300, 20}, {200, 200}, {9000, 3}, {70000, 4096}}, 1},
        {"across a window's end", {{(1 << 20) - 10, 4096}, {(1 << 20) + 100, 10}, {10, (1 << 20) - 40}}, 1},
        {"at, past and over the end", {{size - 3, 3}, {size, 0}, {size - 2, 3}, {size + 5, 1}, {~0ull, 2}}, 1},
        {"too long", {{0, kMaxPieceBytes + 1}, {5, kMaxPieceBytes}}, 1},
        {"empty", {{0, 0}, {4096, 0}}, 1},
    };
    Layout overlapping{"every 100 bytes, each as long as allowed", {}, 4};
    for (std::uint64_t at = 0; at + kMaxPieceBytes <= size; at += 100)
        overlapping.pieces.push_back({at, kMaxPieceBytes});
    layouts.push_back(overlapping);
    Layout spread{"thousands apart, on threads", {}, 3};
    for (std::uint64_t at = 17; at < size; at += 3001)
        spread.pieces.push_back({at, std::uint32_t(at % 700)});
    layouts.push_back(spread);

    for (const Layout& layout : layouts) {
        for (const ByteSource* source : {static_cast<const ByteSource*>(&memory), static_cast<const ByteSource*>(&file),
                                         static_cast<const ByteSource*>(&counting)}) {
            SCOPED_TRACE(layout.name);
            counting.read = 0;
            std::vector<FilePiece> pieces;
            for (const auto& [offset, length] : layout.pieces)
                pieces.push_back({source, offset, length, pieces.size()});
            std::mutex mutex;
            std::vector<int> taken(pieces.size());
            ReadPieces(
                pieces,
                [&](const FilePiece& piece, std::optional<std::string_view> got) {
                    const std::lock_guard lock(mutex);
                    ++taken[piece.tag];
                    const bool fits =
                        piece.length <= kMaxPieceBytes && piece.offset <= size && piece.length <= size - piece.offset;
                    ASSERT_EQ(got.has_value(), fits) << piece.offset << "+" << piece.length;
                    if (got) {
                        EXPECT_EQ(*got, std::string_view(bytes).substr(piece.offset, piece.length));
                    }
                },
                layout.threads);
            for (const int count : taken)
                EXPECT_EQ(count, 1);
            EXPECT_LE(counting.read.load(), 2 * size);
        }
    }
}

}  // namespace
}  // namespace tessaro
