#include "support/browserfiles/CacheEntryBuilder.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <zlib.h>

namespace tessaro::test {

namespace {

void PutLe32(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += char((value >> (8 * i)) & 0xff);
}

void PutLe64(std::string& out, std::uint64_t value)
{
    PutLe32(out, std::uint32_t(value));
    PutLe32(out, std::uint32_t(value >> 32));
}

void PutBe32(std::string& out, std::uint32_t value)
{
    for (int i = 3; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xff);
}

std::uint32_t Crc(const std::string& bytes)
{
    return std::uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

QByteArray Sha(const std::string& bytes, QCryptographicHash::Algorithm algorithm)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), algorithm);
}

void PutHeader(std::string& out, std::uint32_t version, const std::string& key, bool packed)
{
    PutLe64(out, 0xfcfb6d1ba7725c30ULL);
    PutLe32(out, version);
    PutLe32(out, std::uint32_t(key.size()));
    PutLe32(out, 0x12345678);  // key hash; readers do not check it
    if (!packed)
        PutLe32(out, 0);
    out += key;
}

void PutEof(std::string& out, std::uint32_t flags, std::uint32_t crc, std::uint32_t size, bool packed)
{
    PutLe64(out, 0xf4fa6f45970d41d8ULL);
    PutLe32(out, flags);
    PutLe32(out, crc);
    PutLe32(out, size);
    if (!packed)
        PutLe32(out, 0);
}

void PutPickleString(std::string& out, const std::string& text)
{
    PutLe32(out, std::uint32_t(text.size()));
    out += text;
    while (out.size() % 4 != 0)
        out += '\0';
}

}  // namespace

std::string BuildSimpleCacheEntry(const SimpleCacheEntryParts& parts)
{
    std::string payload;
    std::uint32_t flags = 3 | (1u << 18);
    if (parts.truncatedFlag)
        flags |= 1u << 12;
    if (parts.extraFlags)
        flags |= 1u << 31;
    PutLe32(payload, flags);
    if (parts.extraFlags)
        PutLe32(payload, 6);
    PutLe64(payload, 13441176564196439ULL);  // request time
    PutLe64(payload, 13441176564196440ULL);  // response time
    if (parts.extraFlags)
        PutLe64(payload, 13441176564196440ULL);  // original response time
    PutPickleString(payload, parts.rawHeaders);
    PutPickleString(payload, "127.0.0.1");  // socket address, as Chromium goes on
    std::string stream0;
    PutLe32(stream0, std::uint32_t(payload.size()));
    stream0 += payload;

    std::string out;
    PutHeader(out, 5, parts.key, parts.packedLayout);
    out += parts.body;
    PutEof(out, 1, Crc(parts.body), parts.recordStream1Size ? std::uint32_t(parts.body.size()) : 0, parts.packedLayout);
    out += stream0;
    if (parts.withKeySha256)
        out += Sha(parts.key, QCryptographicHash::Sha256).toStdString();
    PutEof(out, parts.withKeySha256 ? 3 : 1, Crc(stream0), std::uint32_t(stream0.size()), parts.packedLayout);
    return out;
}

std::string BuildSimpleCacheSparse(const std::string& key,
                                   const std::vector<std::pair<std::uint64_t, std::string>>& ranges, bool packedLayout)
{
    std::string out;
    PutHeader(out, 9, key, packedLayout);
    for (const auto& [offset, data] : ranges) {
        PutLe64(out, 0xeb97bf016553676bULL);
        PutLe64(out, offset);
        PutLe64(out, data.size());
        PutLe32(out, Crc(data));
        PutLe32(out, 0);
        out += data;
    }
    return out;
}

std::string SimpleCacheEntryName(const std::string& key)
{
    const QByteArray sha1 = Sha(key, QCryptographicHash::Sha1);
    QByteArray first8 = sha1.left(8);
    std::reverse(first8.begin(), first8.end());
    return first8.toHex().toStdString() + "_0";
}

std::string ChromiumRawHeaders(const std::vector<std::string>& lines)
{
    std::string raw;
    for (const std::string& line : lines) {
        raw += line;
        raw += '\0';
    }
    raw += '\0';
    return raw;
}

std::string BuildCache2Entry(const Cache2EntryParts& parts)
{
    std::string out = parts.body;
    PutBe32(out, 0xdeadbeef);  // metadata hash; readers do not check it
    const std::size_t chunks = (parts.body.size() + 256 * 1024 - 1) / (256 * 1024);
    for (std::size_t i = 0; i < chunks; ++i)
        out += std::string("\x12\x34", 2);
    PutBe32(out, parts.version);
    PutBe32(out, 1);           // fetch count
    PutBe32(out, 1700000000);  // last fetched
    PutBe32(out, 1700000000);  // last modified
    PutBe32(out, 1);           // frecency
    PutBe32(out, 0xffffffff);  // expiration
    PutBe32(out, std::uint32_t(parts.key.size()));
    if (parts.version >= 2)
        PutBe32(out, parts.flags);
    out += parts.key;
    out += '\0';
    for (const auto& [name, value] : parts.elements) {
        out += name;
        out += '\0';
        out += value;
        out += '\0';
    }
    if (parts.version >= 4)
        PutBe32(out, 4);
    PutBe32(out, std::uint32_t(parts.body.size()) | (parts.encryptedOffset ? 0x80000000u : 0));
    return out;
}

std::string Cache2EntryName(const std::string& key)
{
    return Sha(key, QCryptographicHash::Sha1).toHex().toUpper().toStdString();
}

}  // namespace tessaro::test
