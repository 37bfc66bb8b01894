#pragma once

#include <QString>
#include <QWebEngineView>

namespace tessaro {

class TDocumentModelPage;

// The embedded web browser: a page view in the program's profile.
class TWebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    explicit TWebBrowser(QWidget* parent = nullptr);

    // Loads the text as a browser's address bar would. Throws std::runtime_error
    // when the text cannot be made into an address to load. A local file is
    // refused without a word (see NamesLocalFile): nothing is loaded.
    void Navigate(const QString& text);
    QString LocationURL() const;
    // Whether pages see a Flash player in navigator.plugins and mimeTypes,
    // from the next page loaded on.
    void SetFlashPlayerPresented(bool presented);
    // The HTML document model of the page shown.
    TDocumentModelPage* Document() const { return document_; }

signals:
    // The top page finished loading, and later each frame that finishes after it.
    void DocumentComplete();
    // Elements were added to a document of the page after it completed.
    void ElementsAdded();

private:
    TDocumentModelPage* document_ = nullptr;
};

}  // namespace tessaro
