#include "helpviewer/ChmArchive.h"

#include "platform/core/ByteOrder.h"

#include <QFile>

#include <chm_lib.h>
#include <cstdint>

namespace tessaro {

namespace {

// Larger stored files are refused rather than read into memory: a help page
// is a few kilobytes, and a damaged directory entry can claim anything.
constexpr std::uint64_t kMaxObjectSize = 64 * 1024 * 1024;

// #SYSTEM, all numbers little-endian:
//   uint32  version
//   then records up to the end of the file, each:
//     uint16  code      0 = contents file, 2 = default topic, 3 = title, others ignored
//     uint16  length    bytes of data that follow
//     byte    data[length]   for the codes above, text ended by a NUL
constexpr int kSystemHeaderSize = 4;
constexpr int kRecordHeaderSize = 4;
constexpr std::uint16_t kContentsFileCode = 0;
constexpr std::uint16_t kDefaultTopicCode = 2;
constexpr std::uint16_t kTitleCode = 3;

QString RecordText(const QByteArray& bytes, qsizetype at, qsizetype length)
{
    QByteArray text = bytes.mid(at, length);
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    return QString::fromUtf8(text);
}

QByteArray ArchivePath(const QString& path)
{
    QByteArray bytes = path.toUtf8();
    if (!bytes.startsWith('/'))
        bytes.prepend('/');
    return bytes;
}

}  // namespace

ChmSystemInfo ParseChmSystem(const QByteArray& bytes)
{
    ChmSystemInfo info;
    qsizetype at = kSystemHeaderSize;
    while (at + kRecordHeaderSize <= bytes.size()) {
        const std::uint16_t code = LoadLe16(bytes.constData() + at);
        const std::uint16_t length = LoadLe16(bytes.constData() + at + 2);
        at += kRecordHeaderSize;
        if (length > bytes.size() - at)
            break;  // a record running past the end: keep what was read before it
        if (code == kContentsFileCode)
            info.contentsFile = RecordText(bytes, at, length);
        else if (code == kDefaultTopicCode)
            info.defaultTopic = RecordText(bytes, at, length);
        else if (code == kTitleCode)
            info.title = RecordText(bytes, at, length);
        at += length;
    }
    return info;
}

ChmArchive::ChmArchive(const QString& path)
{
    file_ = chm_open(QFile::encodeName(path).constData());
}

ChmArchive::~ChmArchive()
{
    if (file_ != nullptr)
        chm_close(file_);
}

std::optional<QByteArray> ChmArchive::Read(const QString& path) const
{
    if (file_ == nullptr)
        return std::nullopt;
    chmUnitInfo unit{};
    if (chm_resolve_object(file_, ArchivePath(path).constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (unit.length > kMaxObjectSize)
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
    if (unit.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(file_, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                              static_cast<LONGINT64>(unit.length));
    if (got != static_cast<LONGINT64>(unit.length))
        return std::nullopt;
    return bytes;
}

ChmSystemInfo ChmArchive::SystemInfo() const
{
    const std::optional<QByteArray> system = Read(QStringLiteral("/#SYSTEM"));
    return system ? ParseChmSystem(*system) : ChmSystemInfo{};
}

QString ChmArchive::FindBySuffix(const QString& suffix) const
{
    if (file_ == nullptr)
        return {};
    struct Search {
        QString suffix;
        QString found;
    } search{suffix, {}};
    chm_enumerate(
        file_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
        [](chmFile*, chmUnitInfo* unit, void* context) -> int {
            auto* s = static_cast<Search*>(context);
            const QString path = QString::fromUtf8(unit->path);
            if (!path.endsWith(s->suffix, Qt::CaseInsensitive))
                return CHM_ENUMERATOR_CONTINUE;
            s->found = path;
            return CHM_ENUMERATOR_SUCCESS;
        },
        &search);
    return search.found;
}

}  // namespace tessaro
