#include "formats/urlcache/CachedResponse.h"

#include "formats/urlcache/ByteSource.h"
#include "platform/core/AsciiText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <zlib.h>

namespace tessaro {

namespace {

void ParseStatusLine(std::string_view line, CachedResponse& response)
{
    // "HTTP/1.1 200 OK"; HTTP/2 heads are stored in the same form.
    if (line.substr(0, 5) != "HTTP/")
        return;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return;
    std::string_view code = line.substr(space + 1, 3);
    int status = 0;
    const auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), status);
    if (error == std::errc() && end == code.data() + code.size())
        response.status = status;
}

}  // namespace

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
    // find_first_of asks memchr for every byte of the head; a table asks once.
    std::array<bool, 256> separator{};
    for (const char c : separators)
        separator[static_cast<unsigned char>(c)] = true;
    const auto lineEnd = [&separator](std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i)
            if (separator[static_cast<unsigned char>(text[i])])
                return i;
        return std::string_view::npos;
    };
    bool first = true;
    while (!head.empty()) {
        const std::size_t end = lineEnd(head);
        const std::string_view line = head.substr(0, end);
        head = end == std::string_view::npos ? std::string_view() : head.substr(end + 1);
        if (line.empty())
            continue;
        if (first) {
            first = false;
            ParseStatusLine(line, response);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = TrimAscii(line.substr(0, colon));
        const std::string_view value = TrimAscii(line.substr(colon + 1));
        if (EqualsIgnoringAsciiCase(name, "Content-Type")) {
            response.contentType = value;
        } else if (EqualsIgnoringAsciiCase(name, "Content-Encoding")) {
            response.contentEncoding = value;
        } else if (EqualsIgnoringAsciiCase(name, "Content-Range")) {
            const std::size_t slash = value.rfind('/');
            std::uint64_t total = 0;
            if (slash != std::string_view::npos) {
                const std::string_view digits = value.substr(slash + 1);
                const auto [ptr, error] = std::from_chars(digits.data(), digits.data() + digits.size(), total);
                if (error == std::errc() && ptr == digits.data() + digits.size())
                    response.rangeTotal = total;
            }
        } else if (EqualsIgnoringAsciiCase(name, "Content-Length")) {
            std::uint64_t length = 0;
            const auto [ptr, error] = std::from_chars(value.data(), value.data() + value.size(), length);
            if (error == std::errc() && ptr == value.data() + value.size())
                response.contentLength = length;
        }
    }
}

std::string UrlFileName(std::string_view url)
{
    url = url.substr(0, std::min(url.find('?'), url.find('#')));
    const std::size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) {
        url.remove_prefix(scheme + 3);
        const std::size_t path = url.find('/');
        url = path == std::string_view::npos ? std::string_view() : url.substr(path);
    }
    const std::size_t slash = url.rfind('/');
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

}  // namespace tessaro
