#include "formats/archive/ArchiveRecords.h"

#include "formats/coding/HttpHead.h"
#include "platform/core/AsciiText.h"

#include <algorithm>

namespace tessaro {

namespace {

bool ParseNumber(std::string_view text, std::uint64_t& value)
{
    return ParseWholeNumber(TrimAscii(text, " \t\r"), value);
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

ArchiveRecord::Type WarcType(std::string_view value)
{
    static const std::pair<const char*, ArchiveRecord::Type> kTypes[] = {
        {"response", ArchiveRecord::Type::Response}, {"resource", ArchiveRecord::Type::Resource},
        {"revisit", ArchiveRecord::Type::Revisit},   {"request", ArchiveRecord::Type::Request},
        {"metadata", ArchiveRecord::Type::Metadata}, {"warcinfo", ArchiveRecord::Type::Info},
    };
    for (const auto& [name, type] : kTypes) {
        if (EqualsIgnoringAsciiCase(value, name))
            return type;
    }
    return ArchiveRecord::Type::Other;
}

// A URI field may be written in angle brackets (WARC 1.0's own example does).
std::string Unbracketed(std::string_view value)
{
    if (value.size() >= 2 && value.front() == '<' && value.back() == '>')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

}  // namespace

const char* ToString(ArchiveReader::Result result)
{
    switch (result) {
        case ArchiveReader::Result::Ok:
            return "ok";
        case ArchiveReader::Result::End:
            return "end";
        case ArchiveReader::Result::NotAnArchive:
            return "not an archive";
        case ArchiveReader::Result::Malformed:
            return "malformed record";
        case ArchiveReader::Result::PastTheFile:
            return "record runs past the file";
        case ArchiveReader::Result::Truncated:
            return "truncated";
        case ArchiveReader::Result::TooCompressed:
            return "too compressed";
        case ArchiveReader::Result::ReadFailed:
            return "read failed";
        case ArchiveReader::Result::Cancelled:
            return "cancelled";
    }
    return "?";
}

std::int64_t ParseArchiveDate(std::string_view date)
{
    std::string digits;
    for (const char c : date.substr(0, date.find_first_of(".Z+", 10))) {
        if (c >= '0' && c <= '9')
            digits += c;
        else if (c != '-' && c != ':' && c != 'T' && c != ' ')
            return 0;
    }
    if (digits.size() < 4 || digits.size() > 14)
        return 0;
    digits.resize(14, '0');
    const auto field = [&digits](std::size_t at, std::size_t length) { return std::stoi(digits.substr(at, length)); };
    int month = field(4, 2), day = field(6, 2);
    month = std::max(month, 1);
    day = std::max(day, 1);
    const int hour = field(8, 2), minute = field(10, 2), second = field(12, 2);
    if (month > 12 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return 0;
    return DaysFromCivil(field(0, 4), unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
}

ArchiveReader::ArchiveReader(ArchiveInput& input, const std::atomic<bool>* cancelled) : stream_(input, cancelled)
{
}

ArchiveReader::Result ArchiveReader::FromStream() const
{
    switch (stream_.GetState()) {
        // The stream ended, cleanly or not, where a record needed more.
        case RecordStream::State::Ok:
        case RecordStream::State::End:
        case RecordStream::State::Truncated:
        case RecordStream::State::Corrupt:
            return Result::Truncated;
        case RecordStream::State::TooCompressed:
            return Result::TooCompressed;
        case RecordStream::State::ReadFailed:
            return Result::ReadFailed;
        case RecordStream::State::Cancelled:
            return Result::Cancelled;
    }
    return Result::Truncated;
}

bool ArchiveReader::End(Result result)
{
    result_ = result;
    blockLeft_ = 0;
    hasPayload_ = false;
    return false;
}

// Reads through the first blank line (lineOnly: the first line end), at most
// limit bytes; the bytes read are consumed, nothing past them.
bool ArchiveReader::ReadHead(std::string& head, std::size_t limit, bool lineOnly)
{
    head.clear();
    while (head.size() < limit && stream_.Fill()) {
        const std::string_view chunk = stream_.Available().substr(0, limit - head.size());
        const std::size_t before = head.size();
        head.append(chunk);
        const std::size_t from = before >= 3 ? before - 3 : 0;
        std::size_t end = std::string::npos;
        if (lineOnly) {
            const std::size_t newline = head.find('\n', from);
            end = newline == std::string::npos ? newline : newline + 1;
        } else {
            const std::size_t crlf = head.find("\r\n\r\n", from);
            const std::size_t lf = head.find("\n\n", from);
            if (crlf != std::string::npos && (lf == std::string::npos || crlf + 2 <= lf))
                end = crlf + 4;
            else if (lf != std::string::npos)
                end = lf + 2;
        }
        if (end != std::string::npos) {
            stream_.Consume(end - before);
            head.resize(end);
            return true;
        }
        stream_.Consume(chunk.size());
    }
    return false;
}

bool ArchiveReader::SkipSeparators()
{
    while (stream_.Fill()) {
        const std::string_view available = stream_.Available();
        const std::size_t first = available.find_first_not_of("\r\n");
        if (first != std::string_view::npos) {
            stream_.Consume(first);
            return true;
        }
        stream_.Consume(available.size());
    }
    return false;
}

bool ArchiveReader::ParseWarcHead(std::string_view head, ArchiveRecord& record)
{
    if (!head.starts_with("WARC/"))
        return false;
    bool sized = false;
    head.remove_prefix(std::min(head.size(), head.find('\n') + 1));
    while (!head.empty()) {
        const std::size_t newline = head.find('\n');
        const std::string_view line = TrimAscii(head.substr(0, newline), " \t\r");
        head.remove_prefix(newline == std::string_view::npos ? head.size() : newline + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = TrimAscii(line.substr(0, colon));
        const std::string_view value = TrimAscii(line.substr(colon + 1));
        if (EqualsIgnoringAsciiCase(name, "WARC-Type"))
            record.type = WarcType(value);
        else if (EqualsIgnoringAsciiCase(name, "WARC-Target-URI"))
            record.uri = Unbracketed(value);
        else if (EqualsIgnoringAsciiCase(name, "WARC-Date"))
            record.date = value;
        else if (EqualsIgnoringAsciiCase(name, "WARC-Record-ID"))
            record.id = value;
        else if (EqualsIgnoringAsciiCase(name, "WARC-Refers-To"))
            record.refersTo = value;
        else if (EqualsIgnoringAsciiCase(name, "WARC-Refers-To-Target-URI"))
            record.refersToUri = Unbracketed(value);
        else if (EqualsIgnoringAsciiCase(name, "WARC-Refers-To-Date"))
            record.refersToDate = value;
        else if (EqualsIgnoringAsciiCase(name, "WARC-Payload-Digest"))
            record.payloadDigest = value;
        else if (EqualsIgnoringAsciiCase(name, "Content-Type"))
            record.blockType = value;
        else if (EqualsIgnoringAsciiCase(name, "Content-Length"))
            sized = ParseNumber(value, record.length);
    }
    return sized;
}

bool ArchiveReader::ParseArcLine(std::string_view line, ArchiveRecord& record)
{
    line = TrimAscii(line, " \t\r\n");
    std::string_view fields[16];
    std::size_t count = 0;
    while (!line.empty() && count < std::size(fields)) {
        const std::size_t space = line.find(' ');
        fields[count++] = line.substr(0, space);
        line = space == std::string_view::npos ? std::string_view() : TrimAscii(line.substr(space + 1));
    }
    if (count < 5 || !line.empty() || !ParseNumber(fields[count - 1], record.length))
        return false;
    record.uri = fields[0];
    record.date = fields[2];
    record.blockType = fields[3];
    if (record.uri.starts_with("filedesc:"))
        record.type = ArchiveRecord::Type::Info;
    else if (StartsWithIgnoringAsciiCase(record.uri, "http:") || StartsWithIgnoringAsciiCase(record.uri, "https:"))
        record.type = ArchiveRecord::Type::Response;
    else
        record.type = ArchiveRecord::Type::Resource;
    return true;
}

void ArchiveReader::ReadHttpHead(ArchiveRecord& record)
{
    std::string head;
    const std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(blockLeft_, kMaxHeadBytes));
    const std::uint64_t before = stream_.Position();
    const bool read = ReadHead(head, limit, false);
    blockLeft_ -= stream_.Position() - before;
    if (!read || !head.starts_with("HTTP/")) {
        hasPayload_ = false;
        return;
    }
    const HttpHead parsed = ParseHttpHead(head, "\r\n");
    record.status = parsed.status;
    record.contentType = parsed.contentType;
    record.contentEncoding = parsed.contentEncoding;
    record.chunked = parsed.chunked;
    if (record.status == 0)
        hasPayload_ = false;
}

bool ArchiveReader::Next(ArchiveRecord& record)
{
    record = ArchiveRecord();
    if (result_ != Result::Ok)
        return false;
    if (blockLeft_ > 0 && !stream_.Skip(blockLeft_))
        return End(FromStream());
    blockLeft_ = 0;
    hasPayload_ = false;
    if (!SkipSeparators())
        return End(stream_.GetState() == RecordStream::State::End ? Result::End : FromStream());
    record.offset = stream_.FileOffset();
    record.position = stream_.Position();
    std::string head;
    if (format_ != ArchiveFormat::Arc) {
        const std::string_view start = stream_.Available().substr(0, 5);
        if (format_ == ArchiveFormat::Unknown) {
            // At the file's start the buffer holds its first bytes, unless the file is shorter.
            if (std::string_view("WARC/").starts_with(start))
                format_ = ArchiveFormat::Warc;
            else if (std::string_view("filed").starts_with(start))
                format_ = ArchiveFormat::Arc;
            else
                return End(Result::NotAnArchive);
        }
    }
    const bool warc = format_ == ArchiveFormat::Warc;
    if (!ReadHead(head, kMaxHeadBytes, !warc))
        return End(stream_.GetState() == RecordStream::State::Ok && head.size() >= kMaxHeadBytes ? Result::Malformed
                                                                                                 : FromStream());
    if (!(warc ? ParseWarcHead(head, record) : ParseArcLine(head, record)))
        return End(Result::Malformed);
    if (record.length > stream_.MostRemaining())
        return End(Result::PastTheFile);
    record.time = ParseArchiveDate(record.date);
    blockLeft_ = record.length;
    hasPayload_ = true;
    chunked_ = false;
    const bool http = warc ? StartsWithIgnoringAsciiCase(record.blockType, "application/http")
                           : record.type == ArchiveRecord::Type::Response;
    if (http && (record.type == ArchiveRecord::Type::Response || record.type == ArchiveRecord::Type::Revisit))
        ReadHttpHead(record);
    chunked_ = record.chunked;
    chunks_ = ChunkedBody();
    payloadWhole_ = false;
    return true;
}

bool ArchiveReader::ReadPayload(std::string_view& piece, std::size_t most)
{
    piece = {};
    most = std::max<std::size_t>(most, 1);
    while (hasPayload_) {
        if (blockLeft_ == 0) {
            payloadWhole_ = !chunked_ || chunks_.Whole();
            hasPayload_ = false;
            return false;
        }
        if (!stream_.Fill()) {
            End(FromStream());
            return false;
        }
        const std::string_view raw =
            stream_.Available().substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(blockLeft_, most)));
        stream_.Consume(raw.size());
        blockLeft_ -= raw.size();
        if (!chunked_) {
            piece = raw;
            return true;
        }
        dechunked_.clear();
        const ChunkedBody::Result result = chunks_.Feed(raw, [this](std::string_view bytes) {
            dechunked_.append(bytes);
            return true;
        });
        if (result == ChunkedBody::Result::Corrupt) {
            hasPayload_ = false;
            payloadWhole_ = false;
            return false;
        }
        if (!dechunked_.empty()) {
            piece = dechunked_;
            return true;
        }
    }
    return false;
}

}  // namespace tessaro
