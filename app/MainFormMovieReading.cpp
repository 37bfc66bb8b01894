// Movies inside movies: after a page scan the web movies of the list are
// fetched and read, the movies they name are appended, and each row read
// gets its details as the tooltip of its Flash cell.

#include <QMetaObject>

#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/swf/MovieReader.h"
#include "platform/widgets/ListView.h"
#include "scan/MovieReadingRun.h"
#include "scan/MovieStore.h"

namespace tessaro {

namespace {

constexpr int kWebFlash = 1;

}  // namespace

void TMainFrm::StartReadingMovies(const QString& baseAddress, const TPlayerBases& playerBases)
{
    StopReadingMovies();
    // Movies inside movies belong to the thorough scan; without it the list
    // holds exactly the page's own rows.
    if (!ThoroughScan1->isChecked())
        return;
    // A scan of the same page again (a frame completing) reuses what the
    // last one read; another page starts afresh.
    if (MovieStore == nullptr || baseAddress != movieStoreBase_) {
        MovieStore = std::make_shared<TMovieStore>();
        movieStoreBase_ = baseAddress;
    }
    if (!TMovieReadingRun::HasWebMovies(*FoundMovies))
        return;
    const std::uint64_t id = ++movieReadingId_;
    auto report = [this, id](const TMovieReadingRun::TReport& report) {
        QMetaObject::invokeMethod(
            this, [this, id, report] { MovieReadingReport(id, report); }, Qt::QueuedConnection);
    };
    MovieReading =
        std::make_unique<TMovieReadingRun>(*FoundMovies, baseAddress, MovieStore, report,
                                           TMovieReadingRun::WebMovieFetcher(WebBrowser1->LocationURL()), playerBases);
    SetStatusText("Reading movies");
}

void TMainFrm::StopReadingMovies(bool forgetMovies)
{
    if (forgetMovies)
        MovieStore.reset();
    if (MovieReading == nullptr)
        return;
    // The old run ends on its own thread; it is dropped at its last report,
    // so the window never waits for a fetch under way.
    MovieReading->Cancel();
    retiredMovieReadings_.emplace(movieReadingId_, std::move(MovieReading));
    SetProgress(0);
}

void TMainFrm::MovieReadingReport(std::uint64_t id, const TMovieReadingRun::TReport& report)
{
    if (id != movieReadingId_ || MovieReading == nullptr) {
        if (report.finished)
            retiredMovieReadings_.erase(id);
        return;
    }
    for (const QString& address : report.appended) {
        FoundMovies->append(address);
        const int row = ListView1->AddRow(QString::number(FoundMovies->size()), {address, QStringLiteral("New")});
        ListView1->SetChecked(row, true);
    }
    for (int row = 0; row < ListView1->RowCount(); ++row) {
        if (!ListView1->ToolTip(row, kWebFlash).isEmpty())
            continue;
        if (const auto details = MovieStore->Details(ListView1->Text(row, kWebFlash)))
            ListView1->SetToolTip(row, kWebFlash, DescribeMovie(*details));
    }
    if (report.finished) {
        MovieReading.reset();
        SetProgress(0);
        SetStatusText("Done");
        return;
    }
    SetStatusText("Reading movies " + std::to_string(report.done) + " of " + std::to_string(report.total));
    SetProgress(report.total > 0 ? report.done * 100 / report.total : 0);
}

}  // namespace tessaro
