// Movies inside movies: after a page scan the web movies of the list are
// fetched and read, the movies they name are appended, and each row read
// gets its details as the tooltip of its Flash cell. A row only text named
// whose address has no movie is taken off again at the end.

#include <QItemSelectionModel>
#include <QSignalBlocker>
#include <QTimer>

#include <string>
#include <utility>

#include "app/MirkMainForm.h"
#include "platform/browser/WebBrowser.h"
#include "platform/swf/MovieReader.h"
#include "platform/widgets/ListView.h"
#include "scan/MovieReadingRun.h"
#include "scan/MovieStore.h"

namespace tessaro {

namespace {

constexpr int kWebNumber = 0;
constexpr int kWebFlash = 1;
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
    if (!TMovieReadingRun::HasWebMovies(*FoundMovies)) {
        StopReadingMovies();
        return;
    }
    movieListFull_ = false;
    // The new run reads every row again, from what is kept where it can.
    guessesWithoutMovie_.clear();
    const std::uint64_t id = ++movieReadingId_;
    auto report = [this, id](const TMovieReadingRun::TReport& report) { MovieReadingReport(id, report); };
    MovieReading =
        std::make_unique<TMovieReadingRun>(this, *FoundMovies, baseAddress, MovieStore, report, MovieReaders,
                                           TMovieReadingRun::WebMovieFetcher(WebBrowser1->LocationURL()), playerBases);
    // A transfer's status is the transfer's.
    if (!Busy)
        SetStatusText("Reading movies");
}

void TMainFrm::StopReadingMovies(bool forgetMovies)
{
    if (forgetMovies)
        MovieStore.reset();
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
    bool listFull = report.listFull;
    const qsizetype before = FoundMovies->size();
    for (const QString& address : report.appended) {
        // Growth scans may have added rows the run does not know of.
        if (FoundMovies->size() >= kMaxPageRows) {
            listFull = true;
            break;
        }
        FoundMovies->append(address);
    }
    // Numbered and checked as every row that comes after the scan.
    AppendFoundMovies(before);
    // The list shows the last rows of FoundMovies (all of them, unless it was
    // cleared since). Only the rows just read can have new details: a full
    // list is not walked again at every report.
    const qsizetype hidden = FoundMovies->size() - ListView1->RowCount();
    for (const QString& address : report.read) {
        if (GuessedRows.contains(address) && MovieStore->NoMovie(address))
            guessesWithoutMovie_.insert(address);
        const qsizetype row = FoundMovies->indexOf(address) - hidden;
        if (row < 0 || row >= ListView1->RowCount() || ListView1->Text(static_cast<int>(row), kWebFlash) != address)
            continue;
        if (const auto details = MovieStore->Details(address))
            ListView1->SetToolTip(static_cast<int>(row), kWebFlash, DescribeMovie(*details));
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
    const TGuessedRows gone = std::exchange(guessesWithoutMovie_, {});
    const auto takenOff =
        static_cast<int>(FoundMovies->removeIf([&](const QString& address) { return gone.contains(address); }));
    for (const QString& address : gone)
        GuessedRows.remove(address);
    // Taking rows away is no choice of the user's: nothing is played for it.
    const QSignalBlocker quiet(ListView1->selectionModel());
    for (int row = ListView1->RowCount() - 1; row >= 0; --row) {
        if (gone.contains(ListView1->Text(row, kWebFlash)))
            ListView1->removeRow(row);
    }
    for (int row = 0; row < ListView1->RowCount(); ++row)
        ListView1->SetText(row, kWebNumber, QString::number(row + 1));
    return takenOff;
}

}  // namespace tessaro
