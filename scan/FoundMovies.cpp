#include "scan/FoundMovies.h"

#include <string_view>

#include "scan/AddressRules.h"

namespace tessaro {

namespace {

std::u16string_view View(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

}  // namespace

TFoundMovies::TFoundMovies(QStringList& list) : list_(list)
{
    for (const QString& entry : list_)
        if (const QString key = entry.toCaseFolded(); !folded_.contains(key))
            folded_.insert(key, entry);
}

QString TFoundMovies::Add(const QString& pageAddress, const QString& reference)
{
    const std::u16string resolved = ResolveAddress(View(pageAddress), View(reference));
    QString address = QString::fromStdU16String(resolved);
    // Case folding is what QString's case-insensitive comparison compares.
    const QString key = address.toCaseFolded();
    if (const auto known = folded_.constFind(key); known != folded_.constEnd())
        return *known;
    folded_.insert(key, address);
    list_.append(address);
    return address;
}

}  // namespace tessaro
