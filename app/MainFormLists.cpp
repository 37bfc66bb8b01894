// The two movie lists: rebuilding the web list, check and clear commands,
// the pop-up menu and playing the selected row in the preview.

#include <QCursor>
#include <QMenu>

#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/player/FlashControl.h"
#include "download/DownloadSequence.h"

namespace tessaro {

void TMainFrm::ShowFoundMovies(TMovieRows rows)
{
    for (qsizetype i = 0; i < rows.Size(); ++i) {
        TMovieRow& row = rows.Edit(i);
        row.checked = false;
        row.status = kStatusNew;
        row.statusReason.clear();
    }
    // Rows to preview: the player starts before the first is picked.
    if (!rows.IsEmpty())
        ShockwaveFlash1->Prepare();
    WebMovies->Replace(std::move(rows));
}

bool TMainFrm::AppendFoundMovies(QList<TMovieRow> rows)
{
    for (TMovieRow& row : rows) {
        // Checked as a scan checks its rows: only on the page in view.
        row.checked = ActivePage() == kWebPage;
    }
    return WebMovies->Append(rows).full;
}

void TMainFrm::CheckAllRows(bool value)
{
    if (ActivePage() == kWebPage)
        WebMovies->CheckAll(value);
    else if (ActivePage() == kCachePage)
        cachePage_->Movies()->CheckAll(value);
}

void TMainFrm::ClearActiveList()
{
    if (ActivePage() == kWebPage)
        WebMovies->ClearList();
    else if (ActivePage() == kCachePage)
        cachePage_->Movies()->ClearList();
}

void TMainFrm::ListView1SelectItem(int row, bool)
{
    if (row < 0 || row >= WebMovies->RowCount())
        return;
    const TMovieRow& movie = WebMovies->Row(row);
    if (movie.address.isEmpty())
        return;
    // A movie read after the scan is played from its kept bytes.
    ShockwaveFlash1->SetMovie(movie.address, movie.kept, WebBrowser1->LocationURL());
    if (movie.status != QLatin1String(kStatusSaved))
        WebMovies->SetStatus(row, kStatusPreview);
}

void TMainFrm::ListView2SelectItem(int row, bool)
{
    cachePage_->SelectRow(row);
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
