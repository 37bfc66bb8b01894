#include "helpviewer/HelpWindow.h"

#include "helpviewer/ChmArchive.h"
#include "helpviewer/ChmPageView.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace tessaro {

namespace {

constexpr int kLocalRole = Qt::UserRole;

}  // namespace

HelpWindow::HelpWindow(const QString& helpFile, QWidget* owner)
    : QWidget(owner, Qt::Window), helpFile_(helpFile), archive_(std::make_unique<ChmArchive>(helpFile))
{
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    contents_ = new QTreeWidget(splitter);
    contents_->setObjectName(QStringLiteral("Contents"));
    contents_->setAccessibleName(QStringLiteral("Contents"));
    contents_->setHeaderHidden(true);
    contents_->setColumnCount(1);
    page_ = new ChmPageView(*archive_, splitter);
    page_->setObjectName(QStringLiteral("Page"));
    page_->setAccessibleName(QStringLiteral("Page"));
    splitter->addWidget(contents_);
    splitter->addWidget(page_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({280, 520});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    resize(800, 560);

    if (!archive_->IsOpen()) {
        setWindowTitle(QStringLiteral("Help"));
        page_->setPlainText(QStringLiteral("Cannot open the help file %1.").arg(helpFile));
        return;
    }

    const ChmSystemInfo info = archive_->SystemInfo();
    setWindowTitle(info.title.isEmpty() ? QFileInfo(helpFile).completeBaseName() : info.title);

    QString contentsFile = info.contentsFile;
    if (contentsFile.isEmpty())
        contentsFile = archive_->FindBySuffix(QStringLiteral(".hhc"));
    if (const std::optional<QByteArray> sitemap = archive_->Read(contentsFile))
        FillContents(ParseSitemap(QString::fromUtf8(*sitemap)), nullptr);
    contents_->expandAll();

    connect(contents_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { ShowItemPage(current); });
    connect(page_, &QTextBrowser::sourceChanged, this, &HelpWindow::SelectItemOfPage);

    if (!info.defaultTopic.isEmpty()) {
        page_->setSource(ChmPageView::PageUrl(info.defaultTopic));
    } else {
        for (QTreeWidgetItemIterator it(contents_); *it != nullptr; ++it) {
            if (!(*it)->data(0, kLocalRole).toString().isEmpty()) {
                contents_->setCurrentItem(*it);
                break;
            }
        }
    }
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::FillContents(const std::vector<ContentsEntry>& entries, QTreeWidgetItem* parent)
{
    for (const ContentsEntry& entry : entries) {
        auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(contents_);
        item->setText(0, entry.name.isEmpty() ? entry.local : entry.name);
        item->setData(0, kLocalRole, entry.local);
        FillContents(entry.children, item);
    }
}

void HelpWindow::ShowItemPage(QTreeWidgetItem* item)
{
    if (item == nullptr)
        return;
    const QString local = item->data(0, kLocalRole).toString();
    if (local.isEmpty())
        return;  // a heading without a page of its own
    const QUrl url = ChmPageView::PageUrl(local);
    if (url != page_->source())
        page_->setSource(url);
}

// Keeps the contents tree on the page shown, whether it came from the tree
// or from a link inside a page.
void HelpWindow::SelectItemOfPage(const QUrl& url)
{
    const QString path = url.path();
    QTreeWidgetItem* current = contents_->currentItem();
    if (current != nullptr && ChmPageView::PageUrl(current->data(0, kLocalRole).toString()).path() == path)
        return;
    for (QTreeWidgetItemIterator it(contents_); *it != nullptr; ++it) {
        if (ChmPageView::PageUrl((*it)->data(0, kLocalRole).toString()).path() == path) {
            const QSignalBlocker blocker(contents_);
            contents_->setCurrentItem(*it);
            return;
        }
    }
}

}  // namespace tessaro
