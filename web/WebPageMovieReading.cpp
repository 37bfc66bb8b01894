// Movies inside movies: after a page scan the web movies of the list are
// fetched and read, the movies they name are appended, and each row read
// gets its details (the tooltip of its Flash cell) and its kept bytes. A row
// only text named whose address has no movie is taken off again at the end.

#include "formats/swf/MovieReader.h"
#include "web/WebPageController.h"

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

void TWebPageController::StartReadingMovies(const QString& baseAddress, const QString& pageAddress,
                                            const TPlayerBases& playerBases)
{
    // Movies inside movies belong to the thorough scan; without it the list
    // holds exactly the page's own rows.
    if (!thorough_) {
        StopReadingMovies();
        return;
    }
    // A scan of the same page again (a frame completing) reuses what the
    // last one read, and joins the reads under way: the run before goes on,
    // unheard, until the new one ends, so what both ask for is read once.
    // Another page starts afresh.
    if (store_ == nullptr || baseAddress != storeBase_) {
        StopReadingMovies(true);
        store_ = std::make_shared<TMovieStore>();
        storeBase_ = baseAddress;
        playerBases_.clear();
    } else if (reading_ != nullptr) {
        joinedReading_ = std::move(reading_);
    }
    const TMovieRows& rows = movies_->Found();
    if (!TMovieReadingRun::HasWebMovies(rows)) {
        StopReadingMovies();
        return;
    }
    readingListFull_ = false;
    for (auto base = playerBases.cbegin(); base != playerBases.cend(); ++base)
        playerBases_.insert(base.key(), base.value());
    // The new run reads every row again, from what is kept where it can.
    guessesWithoutMovie_.clear();
    const std::uint64_t id = ++readingId_;
    auto report = [this, id](const TMovieReadingRun::TReport& report) { MovieReadingReport(id, report); };
    reading_ = std::make_unique<TMovieReadingRun>(this, rows, baseAddress, store_, report, readers_,
                                                  TMovieReadingRun::WebMovieFetcher(pageAddress), playerBases);
    // A transfer's status is the transfer's.
    if (!Quiet())
        Say("Reading movies");
}

void TWebPageController::StopReadingMovies(bool forgetMovies)
{
    if (forgetMovies) {
        store_.reset();
        movies_->ForgetKept();
    }
    joinedReading_.reset();
    guessesWithoutMovie_.clear();
    if (reading_ == nullptr)
        return;
    // The run holds no thread: its reads that no one else waits for are
    // cancelled, and the window never waits for a fetch under way.
    reading_.reset();
    if (!Quiet())
        emit Progress(0);
}

void TWebPageController::MovieReadingReport(std::uint64_t id, const TMovieReadingRun::TReport& report)
{
    if (id != readingId_ || reading_ == nullptr)
        return;
    // Numbered and checked as every row that comes after the scan; growth
    // scans may have added rows the run does not know of.
    const bool listFull = AppendFoundMovies(report.appended) || report.listFull;
    // Only the rows just read can have new details: the list is not walked
    // at every report.
    for (const QString& address : report.read) {
        const std::optional<qsizetype> found = movies_->Found().Find(address);
        if (found && movies_->Found().At(*found).guess && store_->NoMovie(address))
            guessesWithoutMovie_.insert(address);
        const int row = movies_->RowOf(address);
        if (row < 0)
            continue;
        const auto details = store_->Details(address);
        movies_->SetRead(row, details ? DescribeMovie(*details) : movies_->Row(row).details,
                         store_->MovieBytes(address));
    }
    UpdateNeeds(report.read);
    readingListFull_ = readingListFull_ || listFull;
    if (report.finished) {
        MovieReadingFinished(id);
        return;
    }
    if (Quiet())
        return;
    if (readingListFull_) {
        Say(ListFullText());
        return;
    }
    Say("Reading movies " + std::to_string(report.done) + " of " + std::to_string(report.total));
    emit Progress(report.total > 0 ? report.done * 100 / report.total : 0);
}

void TWebPageController::MovieReadingFinished(std::uint64_t id)
{
    reading_.reset();
    joinedReading_.reset();
    // A movie read before the movies it loads learns their needs now: one pass.
    UpdateNeeds(movies_->Found().Addresses());
    const std::optional<int> takenOff = TakeOffGuessesWithoutMovie(id);
    // While a transfer runs the reading keeps quiet, also at its end.
    if (!Quiet()) {
        emit Progress(0);
        Say(readingListFull_ ? ListFullText() : takenOff.value_or(0) ? GuessesTakenOffText(*takenOff) : "Done");
    }
    readingListFull_ = false;
}

std::optional<int> TWebPageController::TakeOffGuessesWithoutMovie(std::uint64_t id)
{
    if (guessesWithoutMovie_.isEmpty())
        return 0;
    // A download marks its row by where it stood; rows go when it has ended.
    if (Quiet() || downloadJob_ != nullptr) {
        QTimer::singleShot(kTakeOffRetryMs, this, [this, id] {
            if (id == readingId_ && reading_ == nullptr)
                TakeOffGuessesWithoutMovie(id);
        });
        return std::nullopt;
    }
    const QSet<QString> gone = std::exchange(guessesWithoutMovie_, {});
    return static_cast<int>(
        movies_->Remove([&](const TMovieRow& row) { return row.guess && gone.contains(row.address); }));
}

}  // namespace tessaro
