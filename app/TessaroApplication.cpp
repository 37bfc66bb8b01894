#include "app/TessaroApplication.h"

#include "app/ErrorReport.h"

namespace tessaro {

TessaroApplication::TessaroApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("tessaro"));
    setApplicationDisplayName(QStringLiteral("Tessaro"));
    setApplicationVersion(QStringLiteral("1.0.0"));
}

bool TessaroApplication::notify(QObject* receiver, QEvent* event)
{
    return CallReportingErrors([&] { return QApplication::notify(receiver, event); });
}

}  // namespace tessaro
