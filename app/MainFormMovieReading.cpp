// Movies inside movies: after a page scan the web movies of the list are
// fetched and read, the movies they name are appended, and each row read
// gets its details as the tooltip of its Flash cell.

#include <QMetaObject>

#include <string>

#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/swf/MovieReader.h"
#include "platform/widgets/ListView.h"
#include "scan/MovieReadingRun.h"
#include "scan/MovieStore.h"

namespace tessaro {

namespace {

constexpr int kWebFlash = 1;

std::string ListFullText()
{
    return "List full: only the first " + std::to_string(kMaxPageRows) + " movies are listed";
}

}  // namespace

void TMainFrm::StartReadingMovies(const QString& baseAddress, const TPlayerBases& playerBases)
{
    // Movies inside movies belong to the thorough scan; without it the list
    // holds exactly the page's own rows.
    if (!ThoroughScan1->isChecked()) {
        StopReadingMovies();
        return;
    }
    // A scan of the same page again (a frame completing) reuses what the
    // last one read, and joins the reads under way: the run before goes on,
    // unheard, until the new one ends, so what both ask for is read once.
    // Another page starts afresh.
    if (MovieStore == nullptr || baseAddress != movieStoreBase_) {
        StopReadingMovies(true);
        MovieStore = std::make_shared<TMovieStore>();
        movieStoreBase_ = baseAddress;
    } else if (MovieReading != nullptr) {
        joinedMovieReading_ = std::move(MovieReading);
    }
    if (!TMovieReadingRun::HasWebMovies(*FoundMovies)) {
        StopReadingMovies();
        return;
    }
    movieListFull_ = false;
    const std::uint64_t id = ++movieReadingId_;
    auto report = [this, id](const TMovieReadingRun::TReport& report) {
        QMetaObject::invokeMethod(
            this, [this, id, report] { MovieReadingReport(id, report); }, Qt::QueuedConnection);
    };
    MovieReading =
        std::make_unique<TMovieReadingRun>(*FoundMovies, baseAddress, MovieStore, report, MovieReaders,
                                           TMovieReadingRun::WebMovieFetcher(WebBrowser1->LocationURL()), playerBases);
    SetStatusText("Reading movies");
}

void TMainFrm::StopReadingMovies(bool forgetMovies)
{
    if (forgetMovies)
        MovieStore.reset();
    joinedMovieReading_.reset();
    if (MovieReading == nullptr)
        return;
    // The run holds no thread: its reads that no one else waits for are
    // cancelled, and the window never waits for a fetch under way.
    MovieReading.reset();
    SetProgress(0);
}

void TMainFrm::MovieReadingReport(std::uint64_t id, const TMovieReadingRun::TReport& report)
{
    if (id != movieReadingId_ || MovieReading == nullptr)
        return;
    bool listFull = report.listFull;
    for (const QString& address : report.appended) {
        // Growth scans may have added rows the run does not know of.
        if (FoundMovies->size() >= kMaxPageRows) {
            listFull = true;
            break;
        }
        FoundMovies->append(address);
        const int row = ListView1->AddRow(QString::number(FoundMovies->size()), {address, QStringLiteral("New")});
        ListView1->SetChecked(row, true);
    }
    // Only the rows just read can have new details: a full list is not
    // walked again at every report.
    for (const QString& address : report.read) {
        const auto row = static_cast<int>(FoundMovies->indexOf(address));
        if (row < 0 || row >= ListView1->RowCount() || ListView1->Text(row, kWebFlash) != address)
            continue;
        if (const auto details = MovieStore->Details(address))
            ListView1->SetToolTip(row, kWebFlash, DescribeMovie(*details));
    }
    movieListFull_ = movieListFull_ || listFull;
    if (report.finished) {
        MovieReading.reset();
        joinedMovieReading_.reset();
        SetProgress(0);
        SetStatusText(movieListFull_ ? ListFullText() : "Done");
        movieListFull_ = false;
        return;
    }
    if (movieListFull_) {
        SetStatusText(ListFullText());
        return;
    }
    SetStatusText("Reading movies " + std::to_string(report.done) + " of " + std::to_string(report.total));
    SetProgress(report.total > 0 ? report.done * 100 / report.total : 0);
}

}  // namespace tessaro
