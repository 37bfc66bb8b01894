#include "formats/archive/ArchiveSniff.h"

#include "formats/archive/ArchiveInput.h"
#include "formats/archive/WaczPackage.h"

#include <array>
#include <string>
#include <zlib.h>

namespace tessaro {

namespace {

bool StartsAnArchive(std::string_view bytes)
{
    return bytes.starts_with("WARC/") || bytes.starts_with("filedesc://");
}

}  // namespace

WebArchiveKind RecordsKindOf(std::string_view head)
{
    if (StartsAnArchive(head))
        return WebArchiveKind::Records;
    if (head.size() < 2 || static_cast<unsigned char>(head[0]) != 0x1f || static_cast<unsigned char>(head[1]) != 0x8b)
        return WebArchiveKind::None;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return WebArchiveKind::None;
    std::array<char, 16> first{};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(head.data()));
    stream.avail_in = static_cast<uInt>(head.size());
    stream.next_out = reinterpret_cast<Bytef*>(first.data());
    stream.avail_out = static_cast<uInt>(first.size());
    inflate(&stream, Z_SYNC_FLUSH);
    const std::size_t produced = first.size() - stream.avail_out;
    inflateEnd(&stream);
    return StartsAnArchive({first.data(), produced}) ? WebArchiveKind::Records : WebArchiveKind::None;
}

WebArchiveKind WebArchiveKindOf(const std::filesystem::path& path)
{
    FileArchiveInput input(path);
    if (!input.IsOpen())
        return WebArchiveKind::None;
    std::string head(kArchiveSniffBytes, '\0');
    std::size_t got = 0;
    if (!input.Read(head.data(), head.size(), got))
        return WebArchiveKind::None;
    head.resize(got);
    if (LooksLikeZip(head)) {
        WaczPackage package;
        return package.OpenFile(path) == WaczPackage::Result::Ok ? WebArchiveKind::Wacz : WebArchiveKind::None;
    }
    return RecordsKindOf(head);
}

}  // namespace tessaro
