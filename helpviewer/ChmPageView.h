#pragma once

#include <QTextBrowser>

namespace tessaro {

class ChmArchive;

// Shows the pages of a help file. Pages, style sheets and pictures are read
// from the archive under the "chm:" scheme, so links between pages resolve
// inside the file; web and mail links go to the desktop's own programs.
class ChmPageView : public QTextBrowser {
public:
    ChmPageView(const ChmArchive& archive, QWidget* parent);

    // The address of a page given by its path inside the archive.
    static QUrl PageUrl(const QString& local);

    QVariant loadResource(int type, const QUrl& name) override;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    const ChmArchive& archive_;
};

}  // namespace tessaro
