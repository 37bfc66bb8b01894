#include "platform/browser/WebBrowser.h"

#include "platform/browser/BrowserProfile.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/PageAddress.h"

#include <QUrl>

namespace tessaro {

TWebBrowser::TWebBrowser(QWidget* parent) : QWebEngineView(parent)
{
    document_ = new TDocumentModelPage(BrowserProfile(), this);
    setPage(document_);
    connect(document_, &TDocumentModelPage::DocumentComplete, this, &TWebBrowser::DocumentComplete);
    connect(document_, &TDocumentModelPage::GrowthAfterComplete, this, &TWebBrowser::ElementsAdded);
}

void TWebBrowser::SetFlashPlayerPresented(bool presented)
{
    document_->SetFlashPlayerPresented(presented);
}

void TWebBrowser::Navigate(const QString& text)
{
    if (const std::optional<QUrl> url = PageAddressToLoad(text))
        load(*url);
}

QString TWebBrowser::LocationURL() const
{
    return url().toString();
}

}  // namespace tessaro
