#include "platform/player/PlayerAddresses.h"

#include <QRegularExpression>

#include <gtest/gtest.h>
#include <ostream>

namespace tessaro {
namespace {

using Kind = PlayerSource::Kind;

// A movie text, where the player fetches it (the path and the base's path
// on the movie's own host; for what it cannot play, the url it is handed),
// and what that request names.
struct MovieRow {
    const char* name;
    const char* movie;
    const char* path;
    const char* base;
    Kind kind;
    const char* location;
};

void PrintTo(const MovieRow& row, std::ostream* out)
{
    *out << row.movie;
}

bool IsMovieHost(const QString& host)
{
    static const QRegularExpression form(QStringLiteral("^m[0-9a-f]{32}$"));
    return form.match(host).hasMatch();
}

class MovieAddresses : public testing::TestWithParam<MovieRow> {};

TEST_P(MovieAddresses, MapIntoTheSchemeAndBack)
{
    const MovieRow& row = GetParam();
    PlayerAddresses addresses;
    const PlayerMovieAddress address = addresses.ForMovie(PlayerMovieUrl(QString::fromUtf8(row.movie)));
    if (row.kind == Kind::None) {
        EXPECT_EQ(address.url.toString().toStdString(), row.path);
        EXPECT_TRUE(address.base.isEmpty());
    } else {
        EXPECT_EQ(address.url.scheme(), QStringLiteral("tessaro"));
        EXPECT_TRUE(IsMovieHost(address.url.host())) << address.url.host().toStdString();
        EXPECT_EQ(address.url.toString(QUrl::FullyEncoded | QUrl::RemoveScheme | QUrl::RemoveAuthority).toStdString(),
                  row.path);
        EXPECT_EQ(address.base.host(), address.url.host());
        EXPECT_EQ(address.base.path(QUrl::FullyEncoded).toStdString(), row.base);
    }
    const PlayerSource source = addresses.Resolve(address.url);
    EXPECT_EQ(source.kind, row.kind);
    EXPECT_EQ(source.location.toStdString(), row.location);
}

INSTANTIATE_TEST_SUITE_P(
    Movies, MovieAddresses,
    testing::Values(MovieRow{"LocalPath", "/home/u/.cache/tessaro/Content/ab12cd34/intro[1].swf", "/intro[1].swf", "/",
                             Kind::LocalFile, "/home/u/.cache/tessaro/Content/ab12cd34/intro[1].swf"},
                    MovieRow{"LocalPathWithBlankHashAndQuestionMark", "/tmp/a b/#1?.swf", "/%231%3F.swf", "/",
                             Kind::LocalFile, "/tmp/a b/#1?.swf"},
                    MovieRow{"LocalPathNotAscii", "/tmp/fl\xc3\xa4sh.swf", "/fl%C3%A4sh.swf", "/", Kind::LocalFile,
                             "/tmp/fl\xc3\xa4sh.swf"},
                    MovieRow{"FileAddress", "file:///tmp/x%20y.swf", "/x%20y.swf", "/", Kind::LocalFile,
                             "/tmp/x y.swf"},
                    MovieRow{"WebAddressWithQuery", "http://www.example.com/games/play.swf?level=2&x=%20",
                             "/games/play.swf?level=2&x=%20", "/games/", Kind::WebAddress,
                             "http://www.example.com/games/play.swf?level=2&x=%20"},
                    MovieRow{"SecureWebAddressWithPort", "HTTPS://Example.com:8443/a/b.swf", "/a/b.swf", "/a/",
                             Kind::WebAddress, "https://example.com:8443/a/b.swf"},
                    MovieRow{"WebAddressWithoutPath", "http://127.0.0.1:8080", "/", "/", Kind::WebAddress,
                             "http://127.0.0.1:8080/"},
                    MovieRow{"EscapesAsWrittenAndAStrayPercent", "http://h.example/a%2Fb/50%off.swf?q=%7E%2F",
                             "/a%2Fb/50%25off.swf?q=~%2F", "/a%2Fb/", Kind::WebAddress,
                             "http://h.example/a%2Fb/50%25off.swf?q=~%2F"},
                    MovieRow{"NeitherFileNorWeb", "movie.swf", "movie.swf", "", Kind::None, ""},
                    MovieRow{"OtherScheme", "ftp://host/movie.swf", "ftp://host/movie.swf", "", Kind::None, ""},
                    MovieRow{"AFolder", "/tmp/", "file:///tmp/", "", Kind::None, ""}),
    [](const testing::TestParamInfo<MovieRow>& info) { return std::string(info.param.name); });

// Each movie gets a host of its own, drawn afresh; once it is replaced its
// addresses answer nothing, and a local movie answers for its one file only.
TEST(PlayerAddresses, OnlyTheMovieNowShownAnswersAndOnlyForWhatItOwns)
{
    PlayerAddresses addresses;
    const auto load = [&](const PlayerMovieAddress& movie, const char* reference) {
        const PlayerSource source = addresses.Resolve(movie.base.resolved(QUrl(QString::fromUtf8(reference))));
        return source.location.toStdString();
    };
    const PlayerMovieAddress first = addresses.ForMovie(PlayerMovieUrl(QStringLiteral("http://a.example/m/one.swf")));
    EXPECT_EQ(first.siteOrigin, QStringLiteral("http://a.example"));
    EXPECT_EQ(load(first, "data/level.xml"), "http://a.example/m/data/level.xml");
    EXPECT_EQ(load(first, "../up.swf"), "http://a.example/up.swf");
    EXPECT_EQ(load(first, "/root.swf?q=1"), "http://a.example/root.swf?q=1");
    EXPECT_EQ(addresses.Resolve(first.url).origin, QStringLiteral("http://a.example"));

    const PlayerMovieAddress second = addresses.ForMovie(PlayerMovieUrl(QStringLiteral("http://b.example:81/two.swf")));
    EXPECT_EQ(second.siteOrigin, QStringLiteral("http://b.example:81"));
    EXPECT_EQ(load(second, "x.swf"), "http://b.example:81/x.swf");
    EXPECT_EQ(load(first, "data/level.xml"), "") << "an earlier movie's address";

    const PlayerMovieAddress again = addresses.ForMovie(PlayerMovieUrl(QStringLiteral("http://a.example/m/one.swf")));
    EXPECT_NE(again.url.host(), first.url.host()) << "the same movie set again gets a fresh host";
    EXPECT_EQ(load(second, "x.swf"), "");

    const PlayerMovieAddress local = addresses.ForMovie(PlayerMovieUrl(QStringLiteral("/srv/movies/main.swf")));
    EXPECT_EQ(load(local, "main.swf"), "/srv/movies/main.swf");
    EXPECT_EQ(load(local, "main.swf?x=1"), "/srv/movies/main.swf");
    for (const char* reference : {"other.swf", "../common/lib.swf", "/etc/passwd", "/", "main.swf/x", "sub/main.swf"})
        EXPECT_EQ(load(local, reference), "") << reference;
    EXPECT_EQ(load(again, "data/level.xml"), "");

    const std::uint64_t shown = addresses.CurrentMovie();
    addresses.Forget();
    EXPECT_GT(addresses.CurrentMovie(), shown);
    EXPECT_EQ(load(local, "main.swf"), "");
}

// Requests the scheme must not answer, whoever makes them.
TEST(PlayerAddresses, RefusesWhatNoMovieOrPlayerFileNames)
{
    PlayerAddresses addresses;
    const PlayerMovieAddress movie = addresses.ForMovie(PlayerMovieUrl(QStringLiteral("http://a.example/one.swf")));
    const QString other = QStringLiteral("m") + QString(32, QLatin1Char('0'));
    for (const QString& request :
         {QStringLiteral("tessaro://site1/one.swf"), QStringLiteral("tessaro://site2/one.swf"),
          QStringLiteral("tessaro://site01/one.swf"), QStringLiteral("tessaro://site/one.swf"),
          QStringLiteral("tessaro://siteX/one.swf"), QStringLiteral("tessaro://other/x.swf"),
          QStringLiteral("tessaro://local/"), QStringLiteral("tessaro://local/etc/passwd"),
          QStringLiteral("tessaro://%1/one.swf").arg(other), QStringLiteral("tessaro://player/secret.txt"),
          QStringLiteral("tessaro://player/ruffle/"), QStringLiteral("tessaro://player/ruffle/sub/x.js"),
          QStringLiteral("tessaro://player/ruffle/.hidden"), QStringLiteral("tessaro://player/sub/player.js"),
          QStringLiteral("http://%1/one.swf").arg(movie.url.host()), QStringLiteral("http://player/player.html")})
        EXPECT_EQ(addresses.Resolve(QUrl(request)).kind, Kind::None) << request.toStdString();

    EXPECT_EQ(addresses.Resolve(QUrl(QStringLiteral("tessaro://player/player.html"))).kind, Kind::PageFile);
    EXPECT_EQ(addresses.Resolve(QUrl(QStringLiteral("tessaro://player/ruffle/ruffle.js"))).location,
              QStringLiteral("ruffle.js"));
}

}  // namespace
}  // namespace tessaro
