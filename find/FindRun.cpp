#include "find/FindRun.h"

#include "find/CacheFinder.h"
#include "find/FindOptions.h"
#include "find/FindOutput.h"
#include "find/FindSave.h"
#include "find/MovieFinder.h"
#include "platform/core/AppPaths.h"
#include "platform/core/ProgramVersion.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tessaro {

namespace {

constexpr int kUsageError = 2;

QStringList Arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The first web address among the inputs: the reach of a save's fetches.
QString FirstWebInput(const QStringList& inputs)
{
    for (const QString& input : inputs)
        if (input.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
            input.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            return input;
    return {};
}

void RunFiles(int& argc, char** argv, const TFindOptions& options, TFindOutput& output)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tessaro"));
    const bool save = !options.saveFolder.isEmpty();
    std::vector<std::unique_ptr<QTemporaryDir>> checkouts;
    if (options.command == TFindCommand::Cache && options.inputs.isEmpty())
        FindUserCaches(output, options.jobs);
    for (const QString& input : options.inputs) {
        if (options.command == TFindCommand::Cache) {
            FindCacheFolder(input, output, options.jobs, save ? &checkouts : nullptr);
            continue;
        }
        FindMovie(input, output);
        output.InputDone(input);
    }
    // Cached movies come from the caches only, as on the cache page.
    if (save)
        SaveHeldMovies(options.saveFolder,
                       options.command == TFindCommand::Movie ? FirstWebInput(options.inputs) : QString(), output);
}

}  // namespace

int RunWithOutput(const TFindOptions& options, std::FILE* out, std::FILE* err,
                  const std::function<void(TFindOutput&)>& run)
{
    TFindOutput output(out, err, isatty(fileno(err)) == 1, static_cast<int>(options.inputs.size()));
    if (!options.saveFolder.isEmpty())
        output.HoldMovies();
    run(output);
    output.Finish();
    return output.Failed() ? 1 : 0;
}

int HandPagesOver(int& /*argc*/, char** argv, const TFindOptions& options, std::FILE* out, std::FILE* err)
{
    const std::string program = (ProgramFolder() / kPageProgramName).string();
    std::fflush(out);
    std::fflush(err);
    ::execv(program.c_str(), argv);
    const QString why = QStringLiteral("the page scan could not be started: %1: %2")
                            .arg(QString::fromStdString(program), QString::fromLocal8Bit(std::strerror(errno)));
    return RunWithOutput(options, out, err, [&](TFindOutput& output) {
        for (const QString& input : options.inputs) {
            output.Error(input, why);
            output.InputDone(input);
        }
    });
}

int RunFind(int& argc, char** argv, std::FILE* out, std::FILE* err, TPageCommand pages)
{
    const TFindCommandLine line = ParseFindCommandLine(Arguments(argc, argv));
    switch (line.what) {
        case TFindCommandLine::TWhat::Help:
            std::fputs(FindUsageText().c_str(), out);
            return 0;
        case TFindCommandLine::TWhat::Version:
            std::fprintf(out, "tessaro-find %s\n", kProgramVersion);
            return 0;
        case TFindCommandLine::TWhat::UsageError:
            std::fprintf(err, "tessaro-find: %s\n\n%s", line.error.c_str(), FindUsageText().c_str());
            return kUsageError;
        case TFindCommandLine::TWhat::Run:
            break;
    }
    const TFindOptions& options = line.options;
    if (options.command == TFindCommand::Page)
        return pages(argc, argv, options, out, err);
    return RunWithOutput(options, out, err, [&](TFindOutput& output) { RunFiles(argc, argv, options, output); });
}

}  // namespace tessaro
