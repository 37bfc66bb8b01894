#pragma once

#include "formats/swf/MovieReader.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tessaro {

// The movies fetched after a page scan, by the address of their row: their
// bytes for the preview and the download of that row (so neither fetches
// them again), and their details for the row's tooltip. Shared between the
// workers that fill it and the window that reads it.
class TMovieStore {
public:
    // The bytes kept in total, movies' bytes and the names they gave
    // together: past it a movie's bytes are not kept, and a read whose names
    // do not fit is not kept at all.
    static constexpr std::size_t kMaxBytes = std::size_t(256) << 20;
    // What one kept read or failure costs besides its names' characters.
    static constexpr std::size_t kBytesPerEntry = 64;

    explicit TMovieStore(std::size_t maxBytes = kMaxBytes) : maxBytes_(maxBytes) {}

    using Bytes = std::shared_ptr<const std::string>;

    // What reading a movie gave, kept so that a later scan of the same page
    // does not fetch it again.
    struct TRead {
        TMovieDetails details;
        QStringList movieNames;
        QStringList fileNames;  // the other files it loads
    };

    // Keeps what reading the movie at address gave, and its bytes when given
    // (a whole movie); false when the bytes were not kept (over the bound, or
    // already there). A read whose names do not fit is not kept either.
    bool Keep(const QString& address, const TRead& read, const Bytes& bytes = nullptr);
    // An address that gave no movie (no answer, or not a movie) is not
    // fetched again for this store. noMovie: it answered, with an HTTP error
    // or with a body that is no Flash movie (a refused or broken fetch did not).
    void KeepFailure(const QString& address, bool noMovie = false);
    bool Failed(const QString& address) const;
    bool NoMovie(const QString& address) const;

    // Null when the address's bytes are not kept.
    Bytes MovieBytes(const QString& address) const;
    std::optional<TRead> Read(const QString& address) const;
    std::optional<TMovieDetails> Details(const QString& address) const;
    // Movies' bytes and the names kept with them.
    std::size_t BytesKept() const;

    // Forgets everything; bytes still in use elsewhere stay alive there.
    void Clear();

private:
    mutable std::mutex mutex_;
    QHash<QString, Bytes> bytes_;
    QHash<QString, TRead> reads_;
    QHash<QString, bool> failed_;  // whether it answered with no movie
    const std::size_t maxBytes_;
    std::size_t total_ = 0;
};

}  // namespace tessaro
