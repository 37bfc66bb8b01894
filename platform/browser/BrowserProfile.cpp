#include "platform/browser/BrowserProfile.h"

#include <QCoreApplication>
#include <QString>
#include <QWebEngineProfile>

#include "platform/core/AppPaths.h"

namespace tessaro {

QWebEngineProfile* BrowserProfile()
{
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QStringLiteral("tessaro"), QCoreApplication::instance());
        const QString folder = QString::fromStdString(EmbeddedBrowserCacheFolder().string());
        p->setCachePath(folder);
        p->setPersistentStoragePath(folder + QStringLiteral("/Storage"));
        p->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        return p;
    }();
    return profile;
}

}  // namespace tessaro
