#include "platform/gui/WebBrowser.h"

#include <QUrl>

#include <stdexcept>

#include "platform/gui/BrowserProfile.h"
#include "platform/gui/DocumentModelPage.h"

namespace tessaro {

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
