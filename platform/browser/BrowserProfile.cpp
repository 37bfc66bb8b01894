#include "platform/browser/BrowserProfile.h"

#include "platform/core/AppPaths.h"

#include <QCoreApplication>
#include <QString>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace tessaro {

namespace {

void KeepLocalPagesToThemselves(QWebEngineProfile* profile)
{
    // A local page reads nothing beyond itself: no other file, no remote
    // address (the engine's default lets it read every local file).
    profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
}

}  // namespace

QWebEngineProfile* BrowserProfile()
{
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QStringLiteral("tessaro"), QCoreApplication::instance());
        const QString folder = QString::fromStdString(EmbeddedBrowserCacheFolder().string());
        p->setCachePath(folder);
        p->setPersistentStoragePath(folder + QStringLiteral("/Storage"));
        p->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        KeepLocalPagesToThemselves(p);
        return p;
    }();
    return profile;
}

QWebEngineProfile* PassingBrowserProfile()
{
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QCoreApplication::instance());  // off the record
        p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        KeepLocalPagesToThemselves(p);
        return p;
    }();
    return profile;
}

}  // namespace tessaro
