// The scan of the browsers' caches that fills the cache list.

#include "app/MirkMainForm.h"
#include "cache/FindCacheThread.h"
#include "platform/player/FlashControl.h"

#include <exception>
#include <string>
#include <utility>

namespace tessaro {

namespace {

// The most of a walk's error shown in the status bar.
constexpr std::size_t kMaxReasonLength = 200;

// A cache row as the walk gave it; it starts unchecked.
TMovieRow CacheRow(const CacheMovieRow& found)
{
    TMovieRow row;
    row.foundIn = TFoundIn::Cache;
    row.cacheNumber = QString::fromStdString(found.Index);
    row.fileName = QString::fromStdString(found.Flash);
    row.size = QString::fromStdString(found.Size);
    row.localPath = QString::fromStdString(found.LocalPath);
    row.details = QString::fromStdString(found.Details);
    return row;
}

// Why a walk broke off, as one line of text.
std::string BrokenOffReason(const std::exception_ptr& error)
{
    std::string what = "unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    std::string line;
    for (const char c : what.substr(0, kMaxReasonLength))
        line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c);
    return "The cache listing broke off: " + line;
}

}  // namespace

void TMainFrm::StartCacheScan()
{
    TFindCacheEntryThread walk;
    walk.addRow = [this](const CacheMovieRow& row) { CacheMovies->Append({CacheRow(row)}); };
    if (CacheOpener)
        walk.openCache = CacheOpener;
    CacheScanThread =
        Job::Start(this, std::move(walk), [this](const JobEnd<void>& end) { CacheScanFinished(end.error); });
}

void TMainFrm::CacheScanFinished(const std::exception_ptr& error)
{
    const Job walk = std::move(CacheScanThread);
    Busy = false;
    // The cache folders changed while it ran: what it listed is out of date.
    if (std::exchange(cacheListAgain_, false)) {
        ListCacheAgain();
        return;
    }
    // Rows to preview: the player starts now, after the listing rather than
    // beside it, where its start would hold up the rows.
    if (CacheMovies->RowCount() > 0)
        ShockwaveFlash1->Prepare();
    // A walk that broke off keeps the rows it listed and says why, quietly.
    if (error)
        SetStatusText(BrokenOffReason(error));
}

}  // namespace tessaro
