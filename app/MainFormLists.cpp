// The two movie lists: rebuilding the web list, check and clear commands,
// the pop-up menu and playing the selected row in the preview.

#include <QCursor>
#include <QMenu>

#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/player/FlashControl.h"
#include "scan/MovieStore.h"
#include "platform/widgets/ListView.h"

namespace tessaro {

namespace {

// Columns of the web list.
constexpr int kWebFlash = 1;
constexpr int kWebStatus = 2;
// Columns of the cache list.
constexpr int kCacheLocalPath = 3;

}  // namespace

void TMainFrm::ShowFoundMovies()
{
    ListView1->Clear();
    // Rows to preview: the player starts before the first is picked.
    if (!FoundMovies->isEmpty())
        ShockwaveFlash1->Prepare();
    for (qsizetype i = 0; i < FoundMovies->size(); ++i)
        ListView1->AddRow(QString::number(i + 1), {FoundMovies->at(i), QStringLiteral("New")});
}

void TMainFrm::AppendFoundMovies(qsizetype from)
{
    for (qsizetype i = from; i < FoundMovies->size(); ++i) {
        const int row = ListView1->RowCount();
        ListView1->AddRow(QString::number(row + 1), {FoundMovies->at(i), QStringLiteral("New")});
        // Checked as a scan checks its rows: only on the page in view.
        if (ActivePage() == kWebPage)
            ListView1->SetChecked(row, true);
    }
}

void TMainFrm::CheckAllRows(bool value)
{
    TListView* list = ActivePage() == kWebPage ? ListView1 : ActivePage() == kCachePage ? ListView2 : nullptr;
    if (list == nullptr)
        return;
    for (int row = 0; row < list->RowCount(); ++row)
        list->SetChecked(row, value);
}

void TMainFrm::ClearActiveList()
{
    if (ActivePage() == kWebPage && ListView1->RowCount() > 0)
        ListView1->Clear();
    else if (ActivePage() == kCachePage && ListView2->RowCount() > 0)
        ListView2->Clear();
}

void TMainFrm::ListView1SelectItem(int row, bool)
{
    if (row < 0 || row >= ListView1->RowCount())
        return;
    const QString flash = ListView1->Text(row, kWebFlash);
    const QString status = ListView1->Text(row, kWebStatus);
    if (flash.isEmpty())
        return;
    // A movie read after the scan is played from its kept bytes.
    ShockwaveFlash1->SetMovie(flash, MovieStore ? MovieStore->MovieBytes(flash) : nullptr, WebBrowser1->LocationURL());
    if (status != QLatin1String("Saved"))
        ListView1->SetText(row, kWebStatus, QStringLiteral("Preview"));
}

void TMainFrm::ListView2SelectItem(int row, bool)
{
    if (row < 0 || row >= ListView2->RowCount())
        return;
    ShockwaveFlash1->SetMovie(ListView2->Text(row, kCacheLocalPath));
}

void TMainFrm::ListView1MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        PopupMenu1->popup(QCursor::pos());
}

void TMainFrm::ListView2MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        PopupMenu1->popup(QCursor::pos());
}

}  // namespace tessaro
