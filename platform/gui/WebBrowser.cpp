#include "platform/gui/WebBrowser.h"

#include <QUrl>
#include <QWebEnginePage>

#include <stdexcept>

#include "platform/gui/BrowserProfile.h"

namespace tessaro {

TWebBrowser::TWebBrowser(QWidget* parent) : QWebEngineView(parent)
{
    setPage(new QWebEnginePage(BrowserProfile(), this));
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) { emit DocumentComplete(); });
}

void TWebBrowser::Navigate(const QString& text)
{
    const QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid())
        throw std::runtime_error("Invalid address: " + text.toStdString());
    load(url);
}

QString TWebBrowser::LocationURL() const
{
    return url().toString();
}

}  // namespace tessaro
