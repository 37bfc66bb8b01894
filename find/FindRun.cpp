#include "find/FindRun.h"

#include "find/CacheFinder.h"
#include "find/FindOptions.h"
#include "find/FindOutput.h"
#include "find/MovieFinder.h"
#include "find/PageFinder.h"
#include "platform/core/ProgramVersion.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <memory>
#include <string>
#include <unistd.h>

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
    return 0;
}

void RunFiles(int& argc, char** argv, const TFindOptions& options, TFindOutput& output)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tessaro"));
    if (options.command == TFindCommand::Cache && options.inputs.isEmpty()) {
        FindUserCaches(output, options.jobs);
        return;
    }
    for (const QString& input : options.inputs) {
        if (options.command == TFindCommand::Cache) {
            FindCacheFolder(input, output, options.jobs);
            continue;
        }
        FindMovie(input, output);
        output.InputDone(input);
    }
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
    if (options.command == TFindCommand::Page)
        RunPages(argc, argv, options, output);
    else
        RunFiles(argc, argv, options, output);
    output.Finish();
    return output.Failed() ? 1 : 0;
}

}  // namespace tessaro
