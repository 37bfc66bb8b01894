// The two movie lists: check and clear commands, the pop-up menu and
// playing the selected row in the preview.

#include "app/MirkMainForm.h"
#include "platform/player/FlashControl.h"

#include <QCursor>
#include <QMenu>

namespace tessaro {

void TMainFrm::CheckAllRows(bool value)
{
    if (ActivePage() == kWebPage)
        webPage_->Movies()->CheckAll(value);
    else if (ActivePage() == kCachePage)
        cachePage_->Movies()->CheckAll(value);
}

void TMainFrm::ClearActiveList()
{
    if (ActivePage() == kWebPage)
        webPage_->Movies()->ClearList();
    else if (ActivePage() == kCachePage)
        cachePage_->Movies()->ClearList();
}

void TMainFrm::ListView1SelectItem(int row, bool)
{
    webPage_->SelectRow(row);
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
