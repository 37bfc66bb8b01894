#include "find/pages/PageCommand.h"

#include "find/FindRun.h"
#include "find/FindSave.h"
#include "find/pages/PageFinder.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace tessaro {

namespace {

// The web engine speaks of its graphics and sandbox at every start; the
// output a script reads stays the program's own.
void QuietEngineMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int RunPageCommand(int& argc, char** argv, const TFindOptions& options, std::FILE* out, std::FILE* err)
{
    // No display is needed: the pages are never shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qInstallMessageHandler(QuietEngineMessages);
    QGuiApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tessaro"));
    return RunWithOutput(options, out, err, [&](TFindOutput& output) {
        TPageFinder finder(options, output);
        finder.Start([] { QCoreApplication::quit(); });
        app.exec();
        // The pages' own reach: a page on the user's own network may have its files fetched there.
        if (!options.saveFolder.isEmpty())
            SaveHeldMovies(options.saveFolder, options.inputs.value(0), output);
    });
}

}  // namespace tessaro
