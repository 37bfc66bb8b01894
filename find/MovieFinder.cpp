#include "find/MovieFinder.h"

#include "platform/core/RegularFile.h"
#include "platform/http/HttpRequest.h"
#include "scan/MovieReadingRun.h"

#include <atomic>
#include <filesystem>

namespace tessaro {

namespace {

bool IsWebAddress(const QString& input)
{
    return input.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           input.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

}  // namespace

void WriteMovieRead(TMovieFacts facts, const std::string& bytes, TFindOutput& output)
{
    const TMovieReading reading = ReadMovie(bytes);
    if (reading.result == MovieReadResult::NotAMovie) {
        output.Error(facts.input, QStringLiteral("not a Flash movie"));
        return;
    }
    facts.bytes = bytes;
    AddReading(facts, reading);
    output.Movie(MovieRecord(facts), facts.localCopy);
    // What was read before a fault is listed; the fault is said too.
    if (reading.result != MovieReadResult::Ok)
        output.Error(facts.input, (facts.url.isEmpty() ? QString() : facts.url + QStringLiteral(": ")) +
                                      QString::fromLatin1(ToString(reading.result)));
}

void FindMovie(const QString& input, TFindOutput& output)
{
    TMovieFacts facts;
    facts.input = input;
    std::string bytes;
    if (IsWebAddress(input)) {
        const QUrl address = HttpAddress(input);
        if (address.isEmpty()) {
            output.Error(input, QStringLiteral("not an address that can be fetched"));
            return;
        }
        // The movie's own network is the one it may be fetched from.
        const std::atomic<bool> never{false};
        TMovieReadingRun::TFetched fetched = TMovieReadingRun::WebMovieFetcher(input)(address, never);
        if (!fetched.ok) {
            output.Error(input, fetched.status > 0 ? QStringLiteral("the server answered %1").arg(fetched.status)
                                                   : QStringLiteral("could not be fetched"));
            return;
        }
        facts.url = input;
        bytes = std::move(fetched.bytes);
    } else {
        const std::filesystem::path path = std::filesystem::absolute(input.toStdString());
        const RegularFileResult read = ReadRegularFile(path, TMovieReadingRun::kMaxMovieBytes, bytes);
        if (read != RegularFileResult::Ok) {
            output.Error(input, QString::fromLatin1(ToString(read)));
            return;
        }
        facts.source.file = QString::fromStdString(path.string());
    }
    WriteMovieRead(std::move(facts), bytes, output);
}

}  // namespace tessaro
