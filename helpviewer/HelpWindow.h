#pragma once

#include "helpviewer/SitemapParser.h"

#include <QWidget>

#include <memory>

class QTreeWidget;
class QTreeWidgetItem;

namespace tessaro {

class ChmArchive;
class ChmPageView;

// A help window on one compiled help file: its table of contents on the
// left, the chosen page on the right.
class HelpWindow : public QWidget {
public:
    HelpWindow(const QString& helpFile, QWidget* owner);
    ~HelpWindow() override;

    const QString& HelpFile() const { return helpFile_; }

private:
    void FillContents(const std::vector<ContentsEntry>& entries, QTreeWidgetItem* parent);
    void ShowItemPage(QTreeWidgetItem* item);
    void SelectItemOfPage(const QUrl& url);

    QString helpFile_;
    std::unique_ptr<ChmArchive> archive_;
    QTreeWidget* contents_ = nullptr;
    ChmPageView* page_ = nullptr;
};

}  // namespace tessaro
