#include "formats/urlcache/CachedResponse.h"

#include "formats/coding/HttpHead.h"
#include "formats/urlcache/ByteSource.h"
#include "platform/core/AsciiText.h"

#include <algorithm>
#include <memory>
#include <zlib.h>

namespace tessaro {

std::uint64_t CachedResponse::StoredSize() const
{
    std::uint64_t total = 0;
    for (const BodySegment& segment : body)
        total += segment.length;
    return total;
}

BodyReadResult StreamStoredBody(const CachedResponse& response, const std::function<bool(std::string_view)>& sink,
                                const ByteSource* opened, const std::filesystem::path& openedPath)
{
    std::string piece;
    for (const BodySegment& segment : response.body) {
        std::unique_ptr<FileByteSource> own;
        const ByteSource* file = opened;
        if (opened == nullptr || segment.file != openedPath) {
            own = std::make_unique<FileByteSource>(segment.file);
            if (!own->IsOpen())
                return BodyReadResult::Missing;
            file = own.get();
        }
        uLong crc = crc32(0L, Z_NULL, 0);
        for (std::uint64_t done = 0; done < segment.length;) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(kStoredPieceLength, segment.length - done));
            if (!file->Read(segment.offset + done, take, piece))
                return BodyReadResult::Missing;
            if (segment.crc32)
                crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size()));
            if (!sink(piece))
                return BodyReadResult::Stopped;
            done += take;
        }
        if (segment.crc32 && static_cast<std::uint32_t>(crc) != *segment.crc32)
            return BodyReadResult::BadCrc;
    }
    return BodyReadResult::Ok;
}

BodyReadResult ReadStoredBody(const CachedResponse& response, std::string& body, std::uint64_t limit)
{
    body.clear();
    if (response.StoredSize() > limit)
        return BodyReadResult::TooLarge;
    std::string bytes;
    const BodyReadResult result = StreamStoredBody(response, [&bytes](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    if (result == BodyReadResult::Ok)
        body = std::move(bytes);
    return result;
}

BodyReadResult ReadStoredPrefix(const CachedResponse& response, std::size_t length, std::string& prefix,
                                const ByteSource* opened, const std::filesystem::path& openedPath)
{
    prefix.clear();
    std::string bytes;
    for (const BodySegment& segment : response.body) {
        if (prefix.size() >= length)
            break;
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(segment.length, length - prefix.size()));
        if (opened != nullptr && segment.file == openedPath) {
            if (!opened->Read(segment.offset, take, bytes))
                return BodyReadResult::Missing;
        } else {
            FileByteSource file(segment.file);
            if (!file.IsOpen() || !file.Read(segment.offset, take, bytes))
                return BodyReadResult::Missing;
        }
        prefix += bytes;
    }
    return BodyReadResult::Ok;
}

void ParseResponseHead(std::string_view head, std::string_view separators, CachedResponse& response)
{
    const HttpHead parsed = ParseHttpHead(head, separators);
    if (parsed.status != 0)
        response.status = parsed.status;
    if (!parsed.contentType.empty())
        response.contentType = parsed.contentType;
    if (!parsed.contentEncoding.empty())
        response.contentEncoding = parsed.contentEncoding;
    if (parsed.contentLength)
        response.contentLength = parsed.contentLength;
    if (parsed.rangeTotal)
        response.rangeTotal = parsed.rangeTotal;
}

std::string_view UrlFileName(std::string_view url)
{
    url = url.substr(0, std::min(url.find('?'), url.find('#')));
    const std::size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) {
        url.remove_prefix(scheme + 3);
        const std::size_t path = url.find('/');
        url = path == std::string_view::npos ? std::string_view() : url.substr(path);
    }
    const std::size_t slash = url.rfind('/');
    return slash == std::string_view::npos ? url : url.substr(slash + 1);
}

}  // namespace tessaro
