#pragma once

#include "formats/archive/ArchiveInput.h"
#include "formats/archive/ChunkedBody.h"
#include "formats/archive/RecordStream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro {

// The two record layouts, each plain or gzip-compressed:
//
// WARC (0.17, 0.18, 1.0, 1.1): records one after the other, each
//   "WARC/<version>" CRLF, named fields "Name: value" CRLF, CRLF,
//   a block of Content-Length bytes, CRLF CRLF.
// ARC version 1: a file header record ("filedesc://<name> <ip> <date>
//   text/plain <length>" LF, then that many bytes of version lines and
//   metadata), then one record a line "<URL> <IP> <YYYYMMDDhhmmss> <mime>
//   <length>" LF, that many bytes, LF. (Version 2 lines carry more fields
//   between the mime and the length, which comes last either way.)
//
// A response's block (and an ARC record's of an http address) is the HTTP
// message: status line, header lines, a blank line, the body.
struct ArchiveRecord {
    enum class Type { Response, Resource, Revisit, Request, Metadata, Info, Other };
    Type type = Type::Other;
    std::string uri;
    std::string date;       // as written
    std::int64_t time = 0;  // seconds since 1970 (UTC); 0 when the date is unreadable
    std::string id, refersTo, refersToUri, refersToDate, payloadDigest;
    std::uint64_t offset = 0;    // where the record starts in the file (a compressed one's gzip member)
    std::uint64_t position = 0;  // where it starts in the records' stream (decompressed)
    std::uint64_t length = 0;    // the block's length
    std::string blockType;       // the record's Content-Type (ARC: the mime field)
    // The HTTP response head at the block's start; status 0 when there is none.
    int status = 0;
    std::string contentType, contentEncoding;
    bool chunked = false;
};

enum class ArchiveFormat { Unknown, Warc, Arc };

// Reads the records of one archive file in order. Only the current record's
// head is held; its payload is read as far as the caller asks, and the rest
// passed over when the next record is asked for.
class ArchiveReader {
public:
    // A WARC header, an ARC record line, an HTTP head: longer is no record.
    static constexpr std::size_t kMaxHeadBytes = 64 * 1024;

    enum class Result {
        Ok,
        End,           // every record was read
        NotAnArchive,  // the file starts with neither layout
        Malformed,     // a record that is neither; the records before it stand
        PastTheFile,   // a record's length runs past the file: the reading ends there
        Truncated,     // the file ends inside a record
        TooCompressed,
        ReadFailed,
        Cancelled,
    };

    explicit ArchiveReader(ArchiveInput& input, const std::atomic<bool>* cancelled = nullptr);

    ArchiveFormat Format() const { return format_; }
    // The next record; false when there is none to read (GetResult says why).
    bool Next(ArchiveRecord& record);
    // The next piece of the current record's payload: the HTTP body with its
    // head removed and chunked transfer undone (content codings stay), or the
    // whole block when it holds no HTTP message. At most most bytes; false
    // at the payload's end.
    bool ReadPayload(std::string_view& piece, std::size_t most = RecordStream::kBufferLength);
    // Whether the payload read to its end was all there (not cut, chunks whole).
    bool PayloadWhole() const { return payloadWhole_; }
    // The block's bytes not yet read: the payload's length, before any is read
    // (chunked: with the chunks' size lines).
    std::uint64_t PayloadLeft() const { return blockLeft_; }
    Result GetResult() const { return result_; }

private:
    bool ReadHead(std::string& head, std::size_t limit, bool lineOnly);
    bool SkipSeparators();
    bool ParseWarcHead(std::string_view head, ArchiveRecord& record);
    bool ParseArcLine(std::string_view line, ArchiveRecord& record);
    void ReadHttpHead(ArchiveRecord& record);
    bool End(Result result);
    Result FromStream() const;

    RecordStream stream_;
    ArchiveFormat format_ = ArchiveFormat::Unknown;
    std::uint64_t blockLeft_ = 0;
    bool hasPayload_ = false;
    bool payloadWhole_ = false;
    bool chunked_ = false;
    ChunkedBody chunks_;
    std::string dechunked_;
    Result result_ = Result::Ok;
};

const char* ToString(ArchiveReader::Result result);

// Seconds since 1970 of "2008-04-30T20:48:25Z" (fractions allowed) or of
// "20080430204825" (an ARC date; shorter ones count from the year); 0 when
// neither.
std::int64_t ParseArchiveDate(std::string_view date);

}  // namespace tessaro
