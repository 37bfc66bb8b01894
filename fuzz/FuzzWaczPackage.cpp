// Opens arbitrary bytes as a WACZ package and reads every WARC file it lists.

#include "formats/archive/ArchiveRecords.h"
#include "formats/archive/WaczPackage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tessaro::WaczPackage package;
    if (package.OpenMemory({reinterpret_cast<const char*>(data), size}) != tessaro::WaczPackage::Result::Ok)
        return 0;
    for (std::size_t i = 0; i < package.ArchiveCount(); ++i) {
        if (!package.ArchiveName(i).starts_with("archive/"))
            __builtin_trap();
        const std::unique_ptr<tessaro::ArchiveInput> input = package.OpenArchive(i);
        if (!input)
            continue;
        tessaro::ArchiveReader reader(*input);
        tessaro::ArchiveRecord record;
        while (reader.Next(record)) {
            std::string_view piece;
            while (reader.ReadPayload(piece)) {
            }
        }
    }
    return 0;
}
