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

TMovieLines ReadMovieLines(TMovieFacts facts, const std::string& bytes)
{
    TMovieLines lines;
    lines.input = facts.input;
    const TMovieReading reading = ReadMovie(bytes);
    if (reading.result == MovieReadResult::NotAMovie) {
        lines.errors.append(QStringLiteral("not a Flash movie"));
        return lines;
    }
    facts.bytes = bytes;
    AddReading(facts, reading);
    lines.record = MovieRecord(facts);
    lines.localCopy = facts.localCopy;
    // What was read before a fault is listed; the fault is said too.
    if (reading.result != MovieReadResult::Ok)
        lines.errors.append((facts.url.isEmpty() ? QString() : facts.url + QStringLiteral(": ")) +
                            QString::fromLatin1(ToString(reading.result)));
    return lines;
}

void WriteMovieLines(const TMovieLines& lines, TFindOutput& output)
{
    if (lines.record)
        output.Movie(*lines.record, lines.localCopy);
    for (const QString& error : lines.errors)
        output.Error(lines.input, error);
}

void WriteMovieRead(TMovieFacts facts, const std::string& bytes, TFindOutput& output)
{
    WriteMovieLines(ReadMovieLines(std::move(facts), bytes), output);
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
