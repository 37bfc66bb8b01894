#include "scan/MovieRows.h"

#include "platform/http/HttpRequest.h"

namespace tessaro {

TMovieRow WebMovieRow(const QString& address, TFoundIn foundIn)
{
    TMovieRow row;
    row.address = address;
    row.url = HttpAddress(address);
    row.foundIn = foundIn;
    return row;
}

std::optional<qsizetype> TMovieRows::Find(const QString& address) const
{
    if (address.isEmpty())
        return std::nullopt;
    Reindex();
    const auto known = folded_.constFind(address.toCaseFolded());
    if (known == folded_.constEnd())
        return std::nullopt;
    return *known;
}

bool TMovieRows::Append(TMovieRow row)
{
    if (!row.address.isEmpty()) {
        Reindex();
        const QString key = row.address.toCaseFolded();
        if (folded_.contains(key))
            return false;
        folded_.insert(key, rows_.size());
    }
    rows_.append(std::move(row));
    return true;
}

qsizetype TMovieRows::RemoveIf(const std::function<bool(const TMovieRow&)>& pred)
{
    const qsizetype removed = rows_.removeIf(pred);
    stale_ = stale_ || removed > 0;
    return removed;
}

void TMovieRows::Remove(qsizetype from, qsizetype count)
{
    rows_.remove(from, count);
    stale_ = stale_ || count > 0;
}

QStringList TMovieRows::Addresses() const
{
    QStringList addresses;
    addresses.reserve(rows_.size());
    for (const TMovieRow& row : rows_)
        addresses.append(row.address);
    return addresses;
}

TMovieRows TMovieRows::OfAddresses(const QStringList& addresses, TFoundIn foundIn)
{
    TMovieRows rows;
    for (const QString& address : addresses)
        rows.Append(WebMovieRow(address, foundIn));
    return rows;
}

void TMovieRows::Reindex() const
{
    if (!stale_)
        return;
    folded_.clear();
    for (qsizetype i = 0; i < rows_.size(); ++i)
        if (!rows_[i].address.isEmpty())
            folded_.insert(rows_[i].address.toCaseFolded(), i);
    stale_ = false;
}

}  // namespace tessaro
