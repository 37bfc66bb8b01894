#include "platform/browser/BrowserProfile.h"

#include "platform/core/AppPaths.h"

#include <QCoreApplication>
#include <QString>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace tessaro {

QWebEngineProfile* BrowserProfile()
{
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QStringLiteral("tessaro"), QCoreApplication::instance());
        const QString folder = QString::fromStdString(EmbeddedBrowserCacheFolder().string());
        p->setCachePath(folder);
        p->setPersistentStoragePath(folder + QStringLiteral("/Storage"));
        p->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        // A local page reads nothing beyond itself: no other file, no remote
        // address (the engine's default lets it read every local file).
        p->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        p->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        return p;
    }();
    return profile;
}

}  // namespace tessaro
