#include "helpviewer/ChmPageView.h"

#include "helpviewer/ChmArchive.h"

#include <QDesktopServices>
#include <QStringConverter>
#include <QStringDecoder>

namespace tessaro {

namespace {

const QString kScheme = QStringLiteral("chm");

QString DecodePage(const QByteArray& bytes)
{
    // Pages name their character set in a meta element; without one they are UTF-8.
    const std::optional<QStringConverter::Encoding> encoding = QStringConverter::encodingForHtml(bytes);
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    return decoder.decode(bytes);
}

}  // namespace

ChmPageView::ChmPageView(const ChmArchive& archive, QWidget* parent) : QTextBrowser(parent), archive_(archive)
{
    setOpenExternalLinks(false);
    setOpenLinks(true);
}

QUrl ChmPageView::PageUrl(const QString& local)
{
    QUrl url;
    url.setScheme(kScheme);
    const qsizetype hash = local.indexOf(QLatin1Char('#'));
    QString path = hash >= 0 ? local.left(hash) : local;
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    url.setPath(path);
    if (hash >= 0)
        url.setFragment(local.mid(hash + 1));
    return url;
}

QVariant ChmPageView::loadResource(int type, const QUrl& name)
{
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() != kScheme)
        return {};
    const std::optional<QByteArray> bytes = archive_.Read(url.path());
    if (!bytes) {
        if (type == QTextDocument::HtmlResource)
            return QStringLiteral("<p>The page %1 is not in this help file.</p>").arg(url.path().toHtmlEscaped());
        return {};
    }
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return DecodePage(*bytes);
    return *bytes;
}

void ChmPageView::doSetSource(const QUrl& name, QTextDocument::ResourceType type)
{
    const QString scheme = name.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(name);
        return;
    }
    QTextBrowser::doSetSource(name, type);
}

}  // namespace tessaro
