#include "app/TessaroApplication.h"

#include <exception>

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
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowErrorReport(std::current_exception());
        return true;
    }
}

}  // namespace tessaro
