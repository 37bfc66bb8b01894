// Movies inside movies: after a page scan the web movies of the list are
// fetched and read, the movies they name are appended, and each row read
// gets its details (the tooltip of its Flash cell) and its kept bytes. A row
// only text named whose address has no movie is taken off again at the end.

#include "app/MirkMainForm.h"
#include "formats/swf/MovieReader.h"
#include "platform/browser/WebBrowser.h"
#include "scan/MovieReadingRun.h"
#include "scan/MovieStore.h"

#include <QItemSelectionModel>
#include <QSignalBlocker>
#include <QTimer>

#include <string>
#include <utility>

namespace tessaro {

namespace {

// How often guesses to take off look again whether the transfer has ended.
constexpr int kTakeOffRetryMs = 250;

std::string ListFullText()
{
    return "List full: only the first " + std::to_string(kMaxPageRows) + " movies are listed";
}

std::string GuessesTakenOffText(int count)
{
    return "Done: " + std::to_string(count) + (count == 1 ? " guessed address" : " guessed addresses") +
           " had no movie";
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
    const QStringList rows = WebMovies->Found().Addresses();
    if (!TMovieReadingRun::HasWebMovies(rows)) {
        StopReadingMovies();
        return;
    }
    movieListFull_ = false;
    // The new run reads every row again, from what is kept where it can.
    guessesWithoutMovie_.clear();
    const std::uint64_t id = ++movieReadingId_;
    auto report = [this, id](const TMovieReadingRun::TReport& report) { MovieReadingReport(id, report); };
    MovieReading =
        std::make_unique<TMovieReadingRun>(this, rows, baseAddress, MovieStore, report, MovieReaders,
                                           TMovieReadingRun::WebMovieFetcher(WebBrowser1->LocationURL()), playerBases);
    // A transfer's status is the transfer's.
    if (!Busy)
        SetStatusText("Reading movies");
}

void TMainFrm::StopReadingMovies(bool forgetMovies)
{
    if (forgetMovies) {
        MovieStore.reset();
        WebMovies->ForgetKept();
    }
    joinedMovieReading_.reset();
    guessesWithoutMovie_.clear();
    if (MovieReading == nullptr)
        return;
    // The run holds no thread: its reads that no one else waits for are
    // cancelled, and the window never waits for a fetch under way.
    MovieReading.reset();
    if (!Busy)
        SetProgress(0);
}

void TMainFrm::MovieReadingReport(std::uint64_t id, const TMovieReadingRun::TReport& report)
{
    if (id != movieReadingId_ || MovieReading == nullptr)
        return;
    // Numbered and checked as every row that comes after the scan; growth
    // scans may have added rows the run does not know of.
    QList<TMovieRow> appended;
    for (const QString& address : report.appended)
        appended.append(WebMovieRow(address, TFoundIn::Movie));
    const bool listFull = AppendFoundMovies(std::move(appended)) || report.listFull;
    // Only the rows just read can have new details: the list is not walked
    // at every report.
    for (const QString& address : report.read) {
        const std::optional<qsizetype> found = WebMovies->Found().Find(address);
        if (found && WebMovies->Found().At(*found).guess && MovieStore->NoMovie(address))
            guessesWithoutMovie_.insert(address);
        const int row = WebMovies->RowOf(address);
        if (row < 0)
            continue;
        const auto details = MovieStore->Details(address);
        WebMovies->SetRead(row, details ? DescribeMovie(*details) : WebMovies->Row(row).details,
                           MovieStore->MovieBytes(address));
    }
    movieListFull_ = movieListFull_ || listFull;
    if (report.finished) {
        MovieReading.reset();
        joinedMovieReading_.reset();
        const std::optional<int> takenOff = TakeOffGuessesWithoutMovie(id);
        // While a transfer runs the reading keeps quiet, also at its end.
        if (!Busy) {
            SetProgress(0);
            SetStatusText(movieListFull_         ? ListFullText()
                          : takenOff.value_or(0) ? GuessesTakenOffText(*takenOff)
                                                 : "Done");
        }
        movieListFull_ = false;
        return;
    }
    if (Busy)
        return;
    if (movieListFull_) {
        SetStatusText(ListFullText());
        return;
    }
    SetStatusText("Reading movies " + std::to_string(report.done) + " of " + std::to_string(report.total));
    SetProgress(report.total > 0 ? report.done * 100 / report.total : 0);
}

std::optional<int> TMainFrm::TakeOffGuessesWithoutMovie(std::uint64_t id)
{
    if (guessesWithoutMovie_.isEmpty())
        return 0;
    // A download marks its row by where it stood; rows go when it has ended.
    if (Busy || HttpThread != nullptr) {
        QTimer::singleShot(kTakeOffRetryMs, this, [this, id] {
            if (id == movieReadingId_ && MovieReading == nullptr)
                TakeOffGuessesWithoutMovie(id);
        });
        return std::nullopt;
    }
    const QSet<QString> gone = std::exchange(guessesWithoutMovie_, {});
    const auto takenOff = static_cast<int>(
        WebMovies->Remove([&](const TMovieRow& row) { return row.guess && gone.contains(row.address); }));
    return takenOff;
}

}  // namespace tessaro
