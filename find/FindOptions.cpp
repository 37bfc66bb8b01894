#include "find/FindOptions.h"

#include "scan/MovieReadingRun.h"

#include <optional>

namespace tessaro {

namespace {

std::optional<TFindCommand> CommandNamed(const QString& name)
{
    if (name == QLatin1String("page"))
        return TFindCommand::Page;
    if (name == QLatin1String("cache"))
        return TFindCommand::Cache;
    if (name == QLatin1String("movie"))
        return TFindCommand::Movie;
    return std::nullopt;
}

TFindCommandLine UsageError(std::string why)
{
    TFindCommandLine line;
    line.what = TFindCommandLine::TWhat::UsageError;
    line.error = std::move(why);
    return line;
}

// The number of --jobs, 1 to the readers the window runs at most.
std::optional<int> JobCount(const QString& text)
{
    bool ok = false;
    const int jobs = text.toInt(&ok);
    if (!ok || jobs < 1 || jobs > TMovieReaderPool::kMaxReadsAtOnce)
        return std::nullopt;
    return jobs;
}

}  // namespace

TFindCommandLine ParseFindCommandLine(const QStringList& arguments)
{
    TFindCommandLine line;
    line.what = TFindCommandLine::TWhat::Run;
    line.options.jobs = TMovieReaderPool::kMaxReadsAtOnce;
    std::optional<TFindCommand> command;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool option = !optionsEnded && argument.startsWith(QLatin1String("--"));
        if (option && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (option && argument == QLatin1String("--help")) {
            line.what = TFindCommandLine::TWhat::Help;
            return line;
        } else if (option && argument == QLatin1String("--version")) {
            line.what = TFindCommandLine::TWhat::Version;
            return line;
        } else if (option && (argument == QLatin1String("--save") || argument.startsWith(QLatin1String("--save=")))) {
            const bool inline_ = argument.startsWith(QLatin1String("--save="));
            if (!inline_ && i + 1 >= arguments.size())
                return UsageError("--save needs a folder");
            line.options.saveFolder = inline_ ? argument.mid(7) : arguments[++i];
            if (line.options.saveFolder.isEmpty())
                return UsageError("--save needs a folder");
        } else if (option && argument == QLatin1String("--described")) {
            line.options.described = true;
        } else if (option && (argument == QLatin1String("--jobs") || argument.startsWith(QLatin1String("--jobs=")))) {
            const bool inline_ = argument.size() > 6;
            if (!inline_ && i + 1 >= arguments.size())
                return UsageError("--jobs needs a number");
            const std::optional<int> jobs = JobCount(inline_ ? argument.mid(7) : arguments[++i]);
            if (!jobs)
                return UsageError("--jobs takes a number from 1 to " +
                                  std::to_string(TMovieReaderPool::kMaxReadsAtOnce));
            line.options.jobs = *jobs;
        } else if (option) {
            return UsageError("unknown option " + argument.toStdString());
        } else if (!command) {
            command = CommandNamed(argument);
            if (!command)
                return UsageError("unknown command " + argument.toStdString());
        } else {
            line.options.inputs.append(argument);
        }
    }
    if (!command)
        return UsageError("no command given");
    line.options.command = *command;
    if (*command != TFindCommand::Cache && line.options.inputs.isEmpty())
        return UsageError(std::string(*command == TFindCommand::Page ? "page" : "movie") + " needs an input");
    return line;
}

std::string FindUsageText()
{
    return "Usage: tessaro-find [OPTION]... COMMAND [INPUT]...\n"
           "Finds Flash movies and prints one JSON object a line for each.\n"
           "\n"
           "Commands:\n"
           "  page URL...          scan each web page (every frame), read the movies it names\n"
           "  cache [PATH...]      the browser caches of this user, or only the given cache folders\n"
           "  movie FILE|URL...    read movies: their details and every file they name\n"
           "\n"
           "Options:\n"
           "  --jobs N             movies read at once, 1 to " +
           std::to_string(TMovieReaderPool::kMaxReadsAtOnce) + " (default " +
           std::to_string(TMovieReaderPool::kMaxReadsAtOnce) +
           ")\n"
           "  --save DIR           save each movie found with everything it needs under\n"
           "                       DIR/<host>/<path>, with DIR/tessaro-manifest.jsonl\n"
           "  --described          scan pages without the thorough scan: no movies inside movies\n"
           "  --help               show this text and exit\n"
           "  --version            show the version and exit\n"
           "\n"
           "Exit status: 0 when every input was read, 1 when some input failed or was\n"
           "damaged (a line {\"input\": ..., \"error\": ...} says which and why), 2 on a usage error.\n";
}

}  // namespace tessaro
