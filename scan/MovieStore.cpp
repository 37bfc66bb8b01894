#include "scan/MovieStore.h"

namespace tessaro {

bool TMovieStore::Keep(const QString& address, const TRead& read, const Bytes& bytes)
{
    const std::lock_guard lock(mutex_);
    reads_.insert(address, read);
    if (bytes == nullptr || bytes_.contains(address) || bytes->size() > kMaxBytes - total_)
        return false;
    total_ += bytes->size();
    bytes_.insert(address, bytes);
    return true;
}

TMovieStore::Bytes TMovieStore::MovieBytes(const QString& address) const
{
    const std::lock_guard lock(mutex_);
    return bytes_.value(address);
}

std::optional<TMovieStore::TRead> TMovieStore::Read(const QString& address) const
{
    const std::lock_guard lock(mutex_);
    const auto found = reads_.constFind(address);
    if (found == reads_.constEnd())
        return std::nullopt;
    return *found;
}

std::optional<TMovieDetails> TMovieStore::Details(const QString& address) const
{
    const std::optional<TRead> read = Read(address);
    if (!read)
        return std::nullopt;
    return read->details;
}

std::size_t TMovieStore::BytesKept() const
{
    const std::lock_guard lock(mutex_);
    return total_;
}

void TMovieStore::Clear()
{
    const std::lock_guard lock(mutex_);
    bytes_.clear();
    reads_.clear();
    total_ = 0;
}

}  // namespace tessaro
