#include "platform/browser/WebBrowser.h"

#include "platform/browser/BrowserProfile.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/core/LocalAddressText.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <stdexcept>

namespace tessaro {

namespace {

const QString kFlashPlayerScriptName = QStringLiteral("tessaro-flash-player");
const QString kFlashPlayerScriptResource = QStringLiteral(":/tessaro/FlashPlayerScript.js");

QWebEngineScript FlashPlayerScript()
{
    QFile file(kFlashPlayerScriptResource);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The Flash player script is missing from the program's resources");
    QWebEngineScript script;
    script.setName(kFlashPlayerScriptName);
    script.setSourceCode(QString::fromUtf8(file.readAll()));
    // Before any script of the page, in the page's own world, where
    // detection scripts read navigator.
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    return script;
}

}  // namespace

TWebBrowser::TWebBrowser(QWidget* parent) : QWebEngineView(parent)
{
    document_ = new TDocumentModelPage(BrowserProfile(), this);
    setPage(document_);
    // The top page completes once; a frame that finishes after it (a frame
    // added later, or a link followed inside a frame) completes it again.
    connect(this, &QWebEngineView::loadStarted, this, [this] { topComplete_ = false; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) {
        topComplete_ = true;
        emit DocumentComplete();
    });
    connect(document_, &TDocumentModelPage::FrameComplete, this, [this] {
        if (topComplete_)
            emit DocumentComplete();
    });
    connect(document_, &TDocumentModelPage::ElementsAdded, this, [this] {
        if (topComplete_)
            emit ElementsAdded();
    });
}

void TWebBrowser::SetFlashPlayerPresented(bool presented)
{
    QWebEngineScriptCollection& scripts = document_->scripts();
    const QList<QWebEngineScript> present = scripts.find(kFlashPlayerScriptName);
    if (presented && present.isEmpty())
        scripts.insert(FlashPlayerScript());
    for (const QWebEngineScript& script : present) {
        if (!presented)
            scripts.remove(script);
    }
}

void TWebBrowser::Navigate(const QString& text)
{
    // An address typed with its scheme is taken as written: guessing on a
    // broken one would load another host ("http://a b" became host "http").
    static const QRegularExpression withScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const bool hasScheme = withScheme.match(text).hasMatch();
    const QUrl url = hasScheme ? QUrl(text) : QUrl::fromUserInput(text);
    // Local files are not opened, however the text names them ("file://...",
    // "/etc/passwd", "~/page.html").
    if (NamesLocalFile(text.toStdString()) || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0)
        return;
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || url.isEmpty() || (web && url.host().isEmpty()))
        throw std::runtime_error("Invalid address: " + text.toStdString());
    load(url);
}

QString TWebBrowser::LocationURL() const
{
    return url().toString();
}

}  // namespace tessaro
