#include "platform/core/ByteOrder.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace tessaro {
namespace {

// Bytes at and above 0x80 are where a char that sign-extends would spill ones
// into the higher bytes.
TEST(ByteOrder, LoadsEveryWidthInBothOrdersWithHighBytes)
{
    static constexpr char kBytes[] = "\x01\x82\xff\x7f\x80\x00\xfe\x10";
    struct Row {
        const char* name;
        std::uint64_t loaded;
        std::uint64_t expected;
    };
    const Row rows[] = {
        {"le16", LoadLe16(kBytes), 0x8201},
        {"le16 high", LoadLe16(kBytes + 1), 0xff82},
        {"le32", LoadLe32(kBytes), 0x7fff8201},
        {"le32 high", LoadLe32(kBytes + 2), 0x00807fff},
        {"le64", LoadLe64(kBytes), 0x10fe00807fff8201},
        {"be32", LoadBe32(kBytes), 0x0182ff7f},
        {"be32 high", LoadBe32(kBytes + 4), 0x8000fe10},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.loaded, row.expected) << row.name;
    static_assert(LoadBe32("\xff\xff\xff\xfe") == 0xfffffffeu, "usable in constant expressions");
}

}  // namespace
}  // namespace tessaro
