#include "platform/player/PlayerAddresses.h"

#include <gtest/gtest.h>

#include <ostream>

namespace tessaro {
namespace {

using Kind = PlayerSource::Kind;

// A movie text, where the player fetches it, and what that request names.
struct MovieRow {
    const char* name;
    const char* movie;
    const char* url;
    const char* base;
    Kind kind;
    const char* location;
};

void PrintTo(const MovieRow& row, std::ostream* out)
{
    *out << row.movie;
}

class MovieAddresses : public testing::TestWithParam<MovieRow> {};

TEST_P(MovieAddresses, MapIntoTheSchemeAndBack)
{
    const MovieRow& row = GetParam();
    PlayerAddresses addresses;
    const PlayerMovieAddress address = addresses.ForMovie(QString::fromUtf8(row.movie));
    EXPECT_EQ(address.url.toString(QUrl::FullyEncoded).toStdString(), row.url);
    EXPECT_EQ(address.base.toString(QUrl::FullyEncoded).toStdString(), row.base);
    const PlayerSource source = addresses.Resolve(address.url);
    EXPECT_EQ(source.kind, row.kind);
    EXPECT_EQ(source.location.toStdString(), row.location);
}

INSTANTIATE_TEST_SUITE_P(
    Movies, MovieAddresses,
    testing::Values(MovieRow{"LocalPath", "/home/u/.cache/tessaro/Content/ab12cd34/intro[1].swf",
                             "tessaro://local/home/u/.cache/tessaro/Content/ab12cd34/intro[1].swf",
                             "tessaro://local/home/u/.cache/tessaro/Content/ab12cd34/", Kind::LocalFile,
                             "/home/u/.cache/tessaro/Content/ab12cd34/intro[1].swf"},
                    MovieRow{"LocalPathWithBlankHashAndQuestionMark", "/tmp/a b/#1?.swf",
                             "tessaro://local/tmp/a%20b/%231%3F.swf", "tessaro://local/tmp/a%20b/", Kind::LocalFile,
                             "/tmp/a b/#1?.swf"},
                    MovieRow{"LocalPathNotAscii", "/tmp/fl\xc3\xa4sh.swf", "tessaro://local/tmp/fl%C3%A4sh.swf",
                             "tessaro://local/tmp/", Kind::LocalFile, "/tmp/fl\xc3\xa4sh.swf"},
                    MovieRow{"FileAddress", "file:///tmp/x%20y.swf", "tessaro://local/tmp/x%20y.swf",
                             "tessaro://local/tmp/", Kind::LocalFile, "/tmp/x y.swf"},
                    MovieRow{"WebAddressWithQuery", "http://www.example.com/games/play.swf?level=2&x=%20",
                             "tessaro://site1/games/play.swf?level=2&x=%20", "tessaro://site1/games/", Kind::WebAddress,
                             "http://www.example.com/games/play.swf?level=2&x=%20"},
                    MovieRow{"SecureWebAddressWithPort", "HTTPS://Example.com:8443/a/b.swf", "tessaro://site1/a/b.swf",
                             "tessaro://site1/a/", Kind::WebAddress, "https://example.com:8443/a/b.swf"},
                    MovieRow{"WebAddressWithoutPath", "http://127.0.0.1:8080", "tessaro://site1/", "tessaro://site1/",
                             Kind::WebAddress, "http://127.0.0.1:8080/"},
                    MovieRow{"NeitherFileNorWeb", "movie.swf", "movie.swf", "", Kind::None, ""},
                    MovieRow{"OtherScheme", "ftp://host/movie.swf", "ftp://host/movie.swf", "", Kind::None, ""}),
    [](const testing::TestParamInfo<MovieRow>& info) { return std::string(info.param.name); });

TEST(PlayerAddresses, SitesKeepTheirHostAndRelativeLoadsStayOnTheirSite)
{
    PlayerAddresses addresses;
    const PlayerMovieAddress first = addresses.ForMovie(QStringLiteral("http://a.example/m/one.swf"));
    const PlayerMovieAddress second = addresses.ForMovie(QStringLiteral("http://b.example:81/two.swf"));
    const PlayerMovieAddress again = addresses.ForMovie(QStringLiteral("http://a.example/other/three.swf"));
    EXPECT_EQ(first.url.host(), again.url.host());
    EXPECT_NE(first.url.host(), second.url.host());
    EXPECT_EQ(first.siteOrigin, QStringLiteral("http://a.example"));
    EXPECT_EQ(second.siteOrigin, QStringLiteral("http://b.example:81"));

    // What a movie's own loads resolve to against its base.
    const auto load = [&](const PlayerMovieAddress& movie, const char* reference) {
        return addresses.Resolve(movie.base.resolved(QUrl(QString::fromUtf8(reference)))).location.toStdString();
    };
    EXPECT_EQ(load(first, "data/level.xml"), "http://a.example/m/data/level.xml");
    EXPECT_EQ(load(first, "../up.swf"), "http://a.example/up.swf");
    EXPECT_EQ(load(first, "/root.swf"), "http://a.example/root.swf");
    EXPECT_EQ(load(second, "x.swf?q=1"), "http://b.example:81/x.swf?q=1");
    const PlayerMovieAddress local = addresses.ForMovie(QStringLiteral("/srv/movies/main.swf"));
    EXPECT_EQ(load(local, "../shared/lib.swf"), "/srv/shared/lib.swf");
}

// Requests the scheme must not answer, whoever makes them.
TEST(PlayerAddresses, RefusesWhatNoMovieOrPlayerFileNames)
{
    PlayerAddresses addresses;
    addresses.ForMovie(QStringLiteral("http://a.example/one.swf"));
    for (const char* request :
         {"tessaro://site2/one.swf", "tessaro://site01/one.swf", "tessaro://site/one.swf", "tessaro://siteX/one.swf",
          "tessaro://player/secret.txt", "tessaro://player/ruffle/", "tessaro://player/ruffle/sub/x.js",
          "tessaro://player/ruffle/.hidden", "tessaro://player/sub/player.js", "tessaro://other/x.swf",
          "http://player/player.html", "tessaro://local/"})
        EXPECT_EQ(addresses.Resolve(QUrl(QString::fromLatin1(request))).kind, Kind::None) << request;

    EXPECT_EQ(addresses.Resolve(QUrl(QStringLiteral("tessaro://player/player.html"))).kind, Kind::PageFile);
    EXPECT_EQ(addresses.Resolve(QUrl(QStringLiteral("tessaro://player/ruffle/ruffle.js"))).location,
              QStringLiteral("ruffle.js"));
}

}  // namespace
}  // namespace tessaro
