#include "platform/cachewalk/ArchivedResource.h"

#include "formats/coding/BodyDecoder.h"
#include "platform/cachewalk/WebArchiveRecords.h"

#include <functional>

namespace tessaro {

namespace {

bool Successful(const ArchiveRecord& record)
{
    return record.status == 0 || (record.status >= 200 && record.status <= 299);
}

// One pass over the archive for the first whole successful record that
// matches; a revisit of the address seen on the way is kept in refersTo.
ArchivedResourceResult Find(const std::filesystem::path& archive, WebArchiveKind kind,
                            const std::function<bool(const ArchiveRecord&)>& matches, std::string_view address,
                            std::uint64_t limit, std::string& body, std::string& refersTo,
                            const std::atomic<bool>* cancelled)
{
    WebArchiveRecords records(archive, kind, cancelled);
    ArchiveRecord record;
    bool tooLarge = false;
    while ((cancelled == nullptr || !cancelled->load()) && records.Next(record)) {
        if (record.type == ArchiveRecord::Type::Revisit && record.uri == address && refersTo.empty())
            refersTo = record.refersTo;
        if ((record.type != ArchiveRecord::Type::Response && record.type != ArchiveRecord::Type::Resource) ||
            !matches(record) || !Successful(record))
            continue;
        // A stored body never needs much more than its decoded length: past
        // the limit it is passed over unread.
        if (record.length > limit + ArchiveReader::kMaxHeadBytes) {
            tooLarge = true;
            continue;
        }
        std::string coded;
        std::string_view piece;
        while (records.Reader().ReadPayload(piece))
            coded.append(piece);
        if (!records.Reader().PayloadWhole())
            continue;
        const DecodeResult decoded = DecodeBody(record.contentEncoding, coded, body, static_cast<std::size_t>(limit));
        if (decoded == DecodeResult::Ok)
            return ArchivedResourceResult::Found;
        tooLarge = tooLarge || decoded == DecodeResult::TooLarge;
    }
    return tooLarge ? ArchivedResourceResult::TooLarge : ArchivedResourceResult::NotRecorded;
}

}  // namespace

ArchivedResourceResult ReadArchivedResource(const std::filesystem::path& archive, std::string_view address,
                                            std::uint64_t limit, std::string& body, const std::atomic<bool>* cancelled)
{
    body.clear();
    const WebArchiveKind kind = WebArchiveKindOf(archive);
    if (kind == WebArchiveKind::None)
        return ArchivedResourceResult::NotAnArchive;
    std::string refersTo;
    const ArchivedResourceResult named = Find(
        archive, kind, [address](const ArchiveRecord& record) { return record.uri == address; }, address, limit, body,
        refersTo, cancelled);
    if (named != ArchivedResourceResult::NotRecorded || refersTo.empty())
        return named;
    // Only a revisit recorded it: a second pass for the record it points at.
    std::string ignored;
    return Find(
        archive, kind, [&refersTo](const ArchiveRecord& record) { return record.id == refersTo; }, {}, limit, body,
        ignored, cancelled);
}

}  // namespace tessaro
