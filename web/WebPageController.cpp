// The web page's state: its list, the address strip and the window's end.
// The scan, the reading and the downloads have files of their own.

#include "web/WebPageController.h"

#include "platform/core/BrowserHomes.h"
#include "platform/core/ProgramSettings.h"
#include "platform/windowlist/ShellWindowsThread.h"
#include "scan/AddressList.h"

#include <utility>

namespace tessaro {

TWebPageController::TWebPageController(std::function<bool()> windowBusy, QObject* parent, int readsAtOnce)
    : QObject(parent),
      windowBusy_(std::move(windowBusy)),
      movies_(new TMovieModel(TMovieModel::TKind::Web, this)),
      thorough_(ReadSetting(TSetting::ThoroughScan).toBool()),
      readers_(std::make_shared<TMovieReaderPool>(this, readsAtOnce))
{
}

TWebPageController::~TWebPageController()
{
    // Every job is asked to end first, so they wind down side by side; then
    // each is joined, and what it had not yet delivered is dropped with it.
    CancelJobs();
    windowBusy_ = nullptr;
    StopReadingMovies();
    for (Job* job : {&addressListJob_, &pageScanJob_, &downloadJob_, &saveJob_})
        job->Stop();
    readers_.reset();  // joins its readers
}

void TWebPageController::CancelJobs()
{
    for (Job* job : {&addressListJob_, &pageScanJob_, &downloadJob_, &saveJob_})
        job->Cancel();
    if (readers_ != nullptr)
        readers_->CancelAll();
}

void TWebPageController::Close()
{
    // Exit ends every read, so the window ends without waiting for servers.
    StopReadingMovies(true);
    readers_->CancelAll();
    CancelPageScan();
    movies_->Replace(TMovieRows());
    closed_ = true;
}

void TWebPageController::RefreshAddressList()
{
    // Without a home folder nothing can be listed: refused at once. The
    // session files are read by a worker; the strip changes only once they
    // are read.
    BrowserFolders folders = BrowserFolders::OfCurrentUser();
    if (addressListJob_ != nullptr) {
        addressListAgain_ = true;  // what it reads may already be out of date
        return;
    }
    addressListJob_ = Job::Start(this, TShellWindowsThread{std::move(folders)},
                                 [this](const JobEnd<QStringList>& end) { AddressListEnded(end); });
}

void TWebPageController::AddressListEnded(const JobEnd<QStringList>& end)
{
    const Job read = std::move(addressListJob_);
    if (std::exchange(addressListAgain_, false)) {
        try {
            RefreshAddressList();
        } catch (...) {
            emit ErrorToShow(std::current_exception());
        }
        return;
    }
    if (end.error) {
        emit ErrorToShow(end.error);  // the strip stays as it was
        return;
    }
    QStringList listed;
    for (const QString& address : end.value) {
        if (IsListedWindowAddress(address.toStdString()))
            listed.append(address);
    }
    emit AddressListRead(listed);
}

bool TWebPageController::OpenAddress(const QString& address)
{
    const std::optional<std::string> status = OpeningStatusText(address.toStdString());
    if (!status)
        return false;
    StopReadingMovies(true);
    Say(*status);
    return true;
}

void TWebPageController::SetThoroughScan(bool on, bool remember)
{
    thorough_ = on;
    if (remember)
        WriteSetting(TSetting::ThoroughScan, on);
    // What the reading kept is forgotten with it: a later preview or
    // download of those rows asks their servers.
    if (!on)
        StopReadingMovies(true);
}

void TWebPageController::ShowFoundMovies(TMovieRows rows)
{
    for (qsizetype i = 0; i < rows.Size(); ++i) {
        TMovieRow& row = rows.Edit(i);
        row.checked = false;
        row.status = kStatusNew;
        row.statusReason.clear();
    }
    // Rows to preview: the player starts before the first is picked.
    if (!rows.IsEmpty())
        emit RowsToPreview();
    movies_->Replace(std::move(rows));
}

bool TWebPageController::AppendFoundMovies(QList<TMovieRow> rows)
{
    for (TMovieRow& row : rows)
        row.checked = inView_;  // as a scan checks its rows: only on the page in view
    return movies_->Append(rows).full;
}

void TWebPageController::ClearList()
{
    StopReadingMovies(true);
    movies_->ClearList();
}

void TWebPageController::SelectRow(int row)
{
    if (row < 0 || row >= movies_->RowCount())
        return;
    const TMovieRow& movie = movies_->Row(row);
    if (movie.address.isEmpty())
        return;
    // A movie read after the scan is played from its kept bytes.
    previewed_ = movie.address;
    emit PreviewMovie(movie.url, movie.kept);
    if (movie.status != QLatin1String(kStatusSaved))
        movies_->SetStatus(row, kStatusPreview);
}

}  // namespace tessaro
