#include "scan/MovieStore.h"

namespace tessaro {

namespace {

std::size_t EntryBytes(const QString& address)
{
    return TMovieStore::kBytesPerEntry + sizeof(QChar) * static_cast<std::size_t>(address.size());
}

std::size_t ReadBytes(const QString& address, const TMovieStore::TRead& read)
{
    std::size_t size = EntryBytes(address);
    for (const QStringList* names : {&read.movieNames, &read.fileNames})
        for (const QString& name : *names)
            size += TMovieStore::kBytesPerEntry + sizeof(QChar) * static_cast<std::size_t>(name.size());
    return size;
}

}  // namespace

bool TMovieStore::Keep(const QString& address, const TRead& read, const Bytes& bytes)
{
    const std::lock_guard lock(mutex_);
    if (reads_.contains(address))
        return false;
    const std::size_t names = ReadBytes(address, read);
    if (names > maxBytes_ - total_)
        return false;
    total_ += names;
    reads_.insert(address, read);
    if (bytes == nullptr || bytes_.contains(address) || bytes->size() > maxBytes_ - total_)
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

void TMovieStore::KeepFailure(const QString& address, bool noMovie)
{
    const std::lock_guard lock(mutex_);
    const std::size_t entry = EntryBytes(address);
    if (failed_.contains(address) || entry > maxBytes_ - total_)
        return;
    total_ += entry;
    failed_.insert(address, noMovie);
}

bool TMovieStore::Failed(const QString& address) const
{
    const std::lock_guard lock(mutex_);
    return failed_.contains(address);
}

bool TMovieStore::NoMovie(const QString& address) const
{
    const std::lock_guard lock(mutex_);
    return failed_.value(address, false);
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
    failed_.clear();
    total_ = 0;
}

}  // namespace tessaro
