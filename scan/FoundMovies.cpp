#include "scan/FoundMovies.h"

#include "scan/MovieReferences.h"

namespace tessaro {

TFoundMovies::TFoundMovies(QStringList& list) : list_(list)
{
    for (const QString& entry : list_)
        if (const QString key = entry.toCaseFolded(); !folded_.contains(key))
            folded_.insert(key, entry);
}

QString TFoundMovies::Add(const QString& pageAddress, const QString& reference)
{
    QString address = ResolvedAddress(pageAddress, reference);
    // Case folding is what QString's case-insensitive comparison compares.
    const QString key = address.toCaseFolded();
    if (const auto known = folded_.constFind(key); known != folded_.constEnd())
        return *known;
    folded_.insert(key, address);
    list_.append(address);
    return address;
}

}  // namespace tessaro
