#include "app/TessaroApplication.h"

#include "app/ErrorReport.h"
#include "platform/core/ProgramVersion.h"

namespace tessaro {

TessaroApplication::TessaroApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("tessaro"));
    // No display name: Qt would append it to every window caption.
    setApplicationVersion(QString::fromLatin1(kProgramVersion));
}

bool TessaroApplication::notify(QObject* receiver, QEvent* event)
{
    return CallReportingErrors([&] { return QApplication::notify(receiver, event); });
}

}  // namespace tessaro
