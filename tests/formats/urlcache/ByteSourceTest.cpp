#include "formats/urlcache/ByteSource.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

// The file reader keeps the first and last 4 KiB; every read must still give
// exactly the bytes of the file, whichever window or none it falls in.
TEST(ByteSourceTest, ReadsTheSameBytesAsMemoryWhereverTheRangeFalls)
{
    const test::TempDir dir;
    for (const std::size_t size : {0u, 1u, 100u, 4095u, 4096u, 4097u, 8191u, 8192u, 9000u, 20000u}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = char(i * 131 % 251);
        const FileByteSource file(dir.write("f" + std::to_string(size), bytes));
        const MemoryByteSource memory(bytes);
        ASSERT_TRUE(file.IsOpen());
        ASSERT_EQ(file.Size(), size);
        for (std::size_t offset = 0; offset <= size + 1; offset += 97) {
            for (const std::size_t length : {0u, 1u, 3u, 24u, 500u, 4096u, 6000u}) {
                std::string fromFile, fromMemory;
                const bool fileOk = file.Read(offset, length, fromFile);
                ASSERT_EQ(fileOk, memory.Read(offset, length, fromMemory)) << size << " " << offset << " " << length;
                if (fileOk) {
                    ASSERT_EQ(fromFile, fromMemory) << size << " " << offset << " " << length;
                }
            }
        }
    }
    EXPECT_FALSE(FileByteSource(dir.path() / "missing").IsOpen());
    EXPECT_FALSE(FileByteSource(dir.path()).IsOpen()) << "a folder is not a file";
}

}  // namespace
}  // namespace tessaro
