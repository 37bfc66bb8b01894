#include "platform/cachewalk/CacheCheckout.h"

#include "formats/coding/BodyDecoder.h"
#include "formats/swf/MovieCheck.h"
#include "formats/urlcache/ByteSource.h"
#include "platform/core/AsciiText.h"
#include "platform/files/AtomicFile.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <map>
#include <vector>

namespace tessaro {

namespace {

constexpr std::size_t kMaxStemBytes = 120;

// The media type without its parameters, as sent (any letter case).
std::string_view MediaType(std::string_view contentType)
{
    return TrimAscii(contentType.substr(0, contentType.find(';')));
}

std::string PercentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
            HexDigitValue(text[i + 2]) >= 0) {
            out += char(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Bytes that are not part of a well-formed UTF-8 sequence become "%XX", so
// that a name can always be shown, previewed and copied.
std::string ValidUtf8(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xc2 && lead <= 0xdf ? 2
                                   : lead >= 0xe0 && lead <= 0xef ? 3
                                   : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                                  : 0;
        bool valid = length > 0 && length <= text.size() - i;
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
        if (valid && length > 2) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            // Overlong forms, UTF-16 surrogates, past U+10FFFF.
            valid = !(lead == 0xe0 && second < 0xa0) && !(lead == 0xed && second >= 0xa0) &&
                    !(lead == 0xf0 && second < 0x90) && !(lead == 0xf4 && second >= 0x90);
        }
        if (!valid) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[lead >> 4];
            out += kHex[lead & 15];
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

// Characters that are not text in a name: C0 and C1 controls, DEL, and the
// marks that reorder or hide what follows (bidirectional overrides and
// isolates, line and paragraph separators, zero-width and BOM characters).
bool IsNotText(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0x200b && c <= 0x200f) || (c >= 0x2028 && c <= 0x202e) ||
           (c >= 0x2060 && c <= 0x206f) || c == 0xfeff;
}

// The code point of the well-formed UTF-8 sequence at the start of text.
char32_t CodePoint(std::string_view sequence)
{
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1)
        return lead;
    char32_t c = lead & (0x7f >> sequence.size());
    for (std::size_t k = 1; k < sequence.size(); ++k)
        c = c << 6 | (static_cast<unsigned char>(sequence[k]) & 0x3f);
    return c;
}

// Every character that is not text becomes "_", as do the folder separators.
std::string TextOnly(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        const std::string_view sequence = utf8.substr(i, length);
        i += sequence.size();
        if (sequence == "/" || sequence == "\\" || IsNotText(CodePoint(sequence)))
            out += '_';
        else
            out.append(sequence);
    }
    return out;
}

// The URL's file name without its extension, made safe as a file name.
std::string CheckoutStem(std::string_view url)
{
    std::string stem = TextOnly(ValidUtf8(PercentDecoded(UrlFileName(url))));
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos)
        stem.erase(dot);
    // A leading dot would hide the file.
    for (std::size_t i = 0; i < stem.size() && stem[i] == '.'; ++i)
        stem[i] = '_';
    if (stem.size() > kMaxStemBytes) {
        stem.resize(kMaxStemBytes);
        // Do not leave half a UTF-8 sequence at the end.
        while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xc0) == 0x80)
            stem.pop_back();
        if (!stem.empty() && static_cast<unsigned char>(stem.back()) >= 0xc0)
            stem.pop_back();
    }
    return stem.empty() ? std::string("movie") : stem;
}

constexpr char kFolderAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr std::size_t kFolderNameLength = 8;
constexpr std::string_view kCheckoutSuffix = "[1].swf";

bool SameContents(const std::filesystem::path& path, std::string_view bytes)
{
    FileByteSource file(path);
    if (!file.IsOpen() || file.Size() != bytes.size())
        return false;
    std::string existing;
    return file.Read(0, bytes.size(), existing) && existing == bytes;
}

}  // namespace

bool IsFlashResponse(const ResponseFacts& facts, std::string_view decodedPrefix)
{
    // An error page or a cut body is not the movie, whatever its URL says.
    if (facts.truncated || (facts.status != 0 && (facts.status < 200 || facts.status > 299)))
        return false;
    const std::string_view name = UrlFileName(facts.url);
    if (EndsWithIgnoringAsciiCase(name, ".swf"))
        return true;
    if (name.find('.') == std::string_view::npos &&
        EqualsIgnoringAsciiCase(MediaType(facts.contentType), "application/x-shockwave-flash"))
        return true;
    const std::string_view signature = decodedPrefix.substr(0, 3);
    return signature == "FWS" || signature == "CWS" || signature == "ZWS";
}

ResponseFacts FactsOf(const CachedResponse& response)
{
    return {response.status, response.truncated, response.url, response.contentType};
}

bool IsFlashResponse(const CachedResponse& response, std::string_view decodedPrefix)
{
    return IsFlashResponse(FactsOf(response), decodedPrefix);
}

std::filesystem::path CheckoutPath(const std::filesystem::path& contentFolder, std::string_view cacheId,
                                   std::string_view url)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(cacheId.data(), qsizetype(cacheId.size())));
    hash.addData(QByteArrayView("\n", 1));
    hash.addData(QByteArrayView(url.data(), qsizetype(url.size())));
    const QByteArray digest = hash.result();
    // 40 bits as 8 base-32 characters, the way cache folders used to look.
    std::uint64_t bits = 0;
    for (int i = 0; i < 5; ++i)
        bits = bits << 8 | static_cast<unsigned char>(digest[i]);
    std::string folder(kFolderNameLength, 'A');
    for (int i = 7; i >= 0; --i, bits >>= 5)
        folder[std::size_t(i)] = kFolderAlphabet[bits & 31];
    return contentFolder / folder / (CheckoutStem(url) + std::string(kCheckoutSuffix));
}

bool IsCheckoutPath(const std::filesystem::path& contentFolder, const std::filesystem::path& path)
{
    const std::string folder = path.parent_path().filename().string();
    const std::string name = path.filename().string();
    if (path.parent_path().parent_path() != contentFolder || folder.size() != kFolderNameLength ||
        folder.find_first_not_of(kFolderAlphabet) != std::string::npos || !name.ends_with(kCheckoutSuffix))
        return false;
    // The stem as CheckoutStem leaves it: unchanged by making it safe again.
    const std::string stem = name.substr(0, name.size() - kCheckoutSuffix.size());
    return !stem.empty() && stem.size() <= kMaxStemBytes && stem.front() != '.' && TextOnly(ValidUtf8(stem)) == stem;
}

bool CheckOutMovie(const CachedResponse& response, const ByteSource* opened, const std::filesystem::path& openedPath,
                   const std::filesystem::path& target, const CheckoutRoom& room, std::uint64_t& size)
{
    return CheckOutMovieBody(
        response.contentEncoding, response.StoredSize(),
        [&](const std::function<bool(std::string_view)>& piece) {
            return StreamStoredBody(response, piece, opened, openedPath) == BodyReadResult::Ok;
        },
        target, room, size);
}

bool CheckOutMovieBody(std::string_view contentEncoding, std::uint64_t storedLength, const StoredBody& body,
                       const std::filesystem::path& target, const CheckoutRoom& room, std::uint64_t& size)
{
    std::error_code error;
    std::filesystem::create_directories(target.parent_path(), error);
    // The walk syncs once for all its check-outs before its records vouch for them.
    AtomicFile file(target.string(), AtomicFile::Sync::Later);
    if (error || !file.Open())
        return false;
    MovieCheck check(kMaxCheckoutBytes);
    // An uncompressed movie is as long as its header says: past the decoder's
    // ratio to what is stored, it is refused before anything is written.
    const std::uint64_t longestPlain = storedLength * BodyDecoderStream::kMaxDecodeRatio;
    std::string signature;
    bool written = true;
    size = 0;
    BodyDecoderStream decoder(contentEncoding, [&](std::string_view piece) {
        const MovieCheckResult verdict = check.Feed(piece);
        if (verdict == MovieCheckResult::NotAMovie || verdict == MovieCheckResult::TooLarge)
            return false;
        signature.append(piece.substr(0, 3 - std::min<std::size_t>(3, signature.size())));
        if (signature == "FWS" && check.DeclaredLength() > longestPlain)
            return false;
        if (!room(piece.size()))
            return false;
        written = file.Write(piece.data(), piece.size());
        size += piece.size();
        return written;
    });
    const bool read = body([&decoder](std::string_view stored) { return decoder.Feed(stored) == DecodeResult::Ok; });
    if (read && decoder.Finish() == DecodeResult::Ok && written && check.End() == MovieCheckResult::Complete &&
        file.SetPermissions(0644) && file.Commit())
        return true;
    file.Discard();
    return false;
}

CheckoutResult WriteCheckout(const std::filesystem::path& path, std::string_view bytes)
{
    if (SameContents(path, bytes))
        return CheckoutResult::Unchanged;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error)
        return CheckoutResult::Failed;
    AtomicFile file(path.string());
    if (!file.Open() || !file.Write(bytes.data(), bytes.size()) || !file.SetPermissions(0644) || !file.Commit())
        return CheckoutResult::Failed;
    return CheckoutResult::Written;
}

ContentListing ListContentFolder(const std::filesystem::path& contentFolder)
{
    ContentListing listing;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(contentFolder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            listing.folders.push_back(it->path());
        else
            listing.files.push_back(it->path());
    }
    return listing;
}

void RemoveStaleCheckouts(const ContentListing& listing, const std::set<std::filesystem::path>& keep)
{
    // What each folder still holds: one left with nothing goes too, and a
    // folder is not listed again to learn that.
    std::map<std::filesystem::path, std::size_t> held;
    for (const std::filesystem::path& file : listing.files) {
        std::error_code ignored;
        if (keep.count(file) != 0 || !std::filesystem::remove(file, ignored))
            ++held[file.parent_path()];
    }
    // Deepest first, so a parent is empty by the time it comes up; a folder
    // that something went into meanwhile stays.
    for (auto it = listing.folders.rbegin(); it != listing.folders.rend(); ++it) {
        std::error_code ignored;
        if (held[*it] != 0 || !std::filesystem::remove(*it, ignored))
            ++held[it->parent_path()];
    }
}

}  // namespace tessaro
