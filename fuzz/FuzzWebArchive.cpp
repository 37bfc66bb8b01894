// Reads arbitrary bytes as a web archive file (WARC or ARC, plain or
// gzip-compressed), every record and its whole payload.

#include "formats/archive/ArchiveRecords.h"
#include "formats/archive/ArchiveSniff.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tessaro::RecordsKindOf(bytes.substr(0, tessaro::kArchiveSniffBytes));
    tessaro::MemoryArchiveInput input(bytes);
    tessaro::ArchiveReader reader(input);
    tessaro::ArchiveRecord record;
    while (reader.Next(record)) {
        // A record's length is checked against the file: no block is longer
        // than what the bytes can inflate to.
        if (record.length > (size + 64) * 1000)
            __builtin_trap();
        std::string_view piece;
        std::uint64_t payload = 0;
        while (reader.ReadPayload(piece))
            payload += piece.size();
        if (payload > record.length)
            __builtin_trap();
    }
    return 0;
}
