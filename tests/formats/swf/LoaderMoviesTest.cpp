#include "formats/swf/MovieReader.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The movies of a folder that its test.swf loads, directly or through a movie
// it loads: every name a read gives that stands for a file of the folder
// (its query and any folder part set aside, as the suite keeps them flat).
QSet<QString> LoadedMovies(const QString& folder)
{
    QSet<QString> loaded;
    QSet<QString> read;
    QStringList pending{QStringLiteral("test.swf")};
    while (!pending.isEmpty()) {
        const QString movie = pending.takeFirst();
        if (read.contains(movie))
            continue;
        read.insert(movie);
        const QByteArray bytes = FileBytes(folder + QLatin1Char('/') + movie);
        for (const QString& name : ReadMovie(std::string_view(bytes.constData(), bytes.size())).movieNames) {
            const QString file = name.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('/'), -1);
            if (!file.isEmpty() && QFile::exists(folder + QLatin1Char('/') + file)) {
                loaded.insert(file);
                pending.append(file);
            }
        }
    }
    return loaded;
}

// Real loaders compiled by Flash, Flex, Ming and haXe (loadMovie, loadMovieNum,
// MovieClipLoader, ImportAssets, AS3 Loader): each folder's test.swf, read with
// the movies it loads, names every movie the suite says it loads.
TEST(LoaderMoviesTest, EveryLoaderNamesEveryMovieItLoads)
{
    const QString root = QString::fromStdString((test::FixturesDir() / "ruffle-loaders").string());
    const QJsonObject expected =
        QJsonDocument::fromJson(FileBytes(root + QStringLiteral("/expected.json"))).object()["expected"].toObject();
    ASSERT_GE(expected.size(), 90);
    int movies = 0;
    for (auto folder = expected.begin(); folder != expected.end(); ++folder) {
        const QSet<QString> loaded = LoadedMovies(root + QStringLiteral("/movies/") + folder.key());
        for (const QJsonValue& movie : folder.value().toArray()) {
            ++movies;
            EXPECT_TRUE(loaded.contains(movie.toString()))
                << folder.key().toStdString() << " loads " << movie.toString().toStdString();
        }
    }
    EXPECT_EQ(movies, 150);
}

}  // namespace
}  // namespace tessaro
