#include "platform/widgets/DesktopServices.h"

#include <QDesktopServices>
#include <QUrl>

namespace tessaro {

void OpenWithDesktop(const std::string& address)
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address), QUrl::TolerantMode));
}

}  // namespace tessaro
