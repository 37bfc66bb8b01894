// The preview's address rules over arbitrary movies and requests: the input
// is a movie text, a NUL, then request texts split at NULs, each tried as
// written and resolved against the movie's own address. Whatever a request
// says, it answers nothing but the movie's own file or its own origin.

#include "platform/player/PlayerAddresses.h"

#include <QString>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(const tessaro::PlayerAddresses& addresses, const tessaro::PlayerMovieAddress& movie, const QString& local,
           const QString& origin, const QUrl& request)
{
    const tessaro::PlayerSource source = addresses.Resolve(request);
    switch (source.kind) {
        case tessaro::PlayerSource::Kind::None:
        case tessaro::PlayerSource::Kind::PageFile:
            break;
        case tessaro::PlayerSource::Kind::RuffleFile:
            if (source.location.contains(QLatin1Char('/')) || source.location.startsWith(QLatin1Char('.')))
                __builtin_trap();
            break;
        case tessaro::PlayerSource::Kind::LocalFile:
            // The one file the movie is, nothing beside it.
            if (local.isEmpty() || source.location != local || request.host() != movie.url.host())
                __builtin_trap();
            break;
        case tessaro::PlayerSource::Kind::WebAddress:
            if (origin.isEmpty() || source.origin != origin || request.host() != movie.url.host())
                __builtin_trap();
            // What the fetch will ask for is on the movie's origin.
            if (tessaro::WebOrigin(QUrl(source.location)) != origin)
                __builtin_trap();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = text.find('\0');
    const QString movieText = QString::fromUtf8(text.substr(0, split).data(), qsizetype(text.substr(0, split).size()));
    tessaro::PlayerAddresses addresses;
    const tessaro::PlayerMovieAddress movie = addresses.ForMovie(tessaro::PlayerMovieUrl(movieText));
    QString local;
    QString origin;
    const tessaro::PlayerSource own = addresses.Resolve(movie.url);
    if (own.kind == tessaro::PlayerSource::Kind::LocalFile)
        local = own.location;
    if (own.kind == tessaro::PlayerSource::Kind::WebAddress)
        origin = own.origin;
    if (!origin.isEmpty() && origin != movie.siteOrigin)
        __builtin_trap();
    if (split == std::string_view::npos)
        return 0;
    std::string_view rest = text.substr(split + 1);
    for (int count = 0; count < 64 && !rest.empty(); ++count) {
        const std::size_t end = rest.find('\0');
        const std::string_view piece = rest.substr(0, end);
        const QString request = QString::fromUtf8(piece.data(), qsizetype(piece.size()));
        Check(addresses, movie, local, origin, QUrl(request));
        Check(addresses, movie, local, origin, movie.url.resolved(QUrl(request)));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return 0;
}
