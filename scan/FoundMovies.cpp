#include "scan/FoundMovies.h"

namespace tessaro {

namespace {

std::u16string_view Utf16(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

}  // namespace

bool HoldsControlCharacter(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            return true;
    }
    return false;
}

TFoundMovies::TFoundMovies(TMovieRows& rows, TFoundIn foundIn) : rows_(rows), foundIn_(foundIn)
{
}

std::optional<QString> TFoundMovies::Add(const QString& pageAddress, const QString& reference)
{
    return Take(pageAddress, reference, false);
}

std::optional<QString> TFoundMovies::Guess(const QString& pageAddress, const QString& reference)
{
    return Take(pageAddress, reference, true);
}

std::optional<QString> TFoundMovies::Take(const QString& pageAddress, const QString& reference, bool guess)
{
    // A long reference costs nothing to refuse.
    if (reference.size() > kMaxRowAddress)
        return std::nullopt;
    // The scanners pass one document's address, the same text, for all of
    // its references.
    if (!base_ || pageAddress.constData() != page_.constData() || pageAddress.size() != page_.size()) {
        page_ = pageAddress;
        base_.emplace(Utf16(page_));
    }
    const std::optional<std::u16string> resolved = base_->Resolve(Utf16(reference), kMaxRowAddress);
    if (!resolved)
        return std::nullopt;
    QString address = QString::fromStdU16String(*resolved);
    // An escape that a scanner undid, or a name read from a movie, may hold
    // a NUL or an ESC: the row would save as another file or show another
    // text than it holds.
    // Nothing resolves to nothing (an empty name against no base): no row
    // of the web page is without an address.
    if (address.isEmpty() || HoldsControlCharacter(address))
        return std::nullopt;
    if (const std::optional<qsizetype> known = rows_.Find(address)) {
        TMovieRow& row = rows_.Edit(*known);
        row.guess = row.guess && guess;
        return row.address;
    }
    if (rows_.Size() >= kMaxPageRows) {
        full_ = true;
        return std::nullopt;
    }
    TMovieRow row = WebMovieRow(address, foundIn_);
    row.guess = guess;
    rows_.Append(std::move(row));
    return rows_.At(rows_.Size() - 1).address;
}

}  // namespace tessaro
