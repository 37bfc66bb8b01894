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
        folded_.insert(entry.toCaseFolded());
}

void TFoundMovies::Add(const QString& pageAddress, const QString& reference)
{
    const std::u16string resolved = ResolveAddress(View(pageAddress), View(reference));
    const QString address = QString::fromStdU16String(resolved);
    // Case folding is what QString's case-insensitive comparison compares.
    const QString key = address.toCaseFolded();
    if (folded_.contains(key))
        return;
    folded_.insert(key);
    list_.append(address);
}

}  // namespace tessaro
