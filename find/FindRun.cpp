#include "find/FindRun.h"

#include "find/CacheFinder.h"
#include "find/FindOptions.h"
#include "find/FindOutput.h"
#include "find/FindSave.h"
#include "find/MovieFinder.h"
#include "find/PageFinder.h"
#include "platform/core/ProgramVersion.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryDir>

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

// The web engine speaks of its graphics and sandbox at every start; the
// output a script reads stays the program's own.
void QuietEngineMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int RunPages(int& argc, char** argv, const TFindOptions& options, TFindOutput& output)
{
    // No display is needed: the pages are never shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(QuietEngineMessages);
    QGuiApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tessaro"));
    TPageFinder finder(options, output);
    finder.Start([] { QCoreApplication::quit(); });
    app.exec();
    // The pages' own reach: a page on the user's own network may have its files fetched there.
    if (!options.saveFolder.isEmpty())
        SaveHeldMovies(options.saveFolder, options.inputs.value(0), output);
    return 0;
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

int RunFind(int& argc, char** argv, std::FILE* out, std::FILE* err)
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
    const int inputs = static_cast<int>(options.inputs.size());
    TFindOutput output(out, err, isatty(fileno(err)) == 1, inputs);
    if (!options.saveFolder.isEmpty())
        output.HoldMovies();
    if (options.command == TFindCommand::Page)
        RunPages(argc, argv, options, output);
    else
        RunFiles(argc, argv, options, output);
    output.Finish();
    return output.Failed() ? 1 : 0;
}

}  // namespace tessaro
