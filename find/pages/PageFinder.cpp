#include "find/pages/PageFinder.h"

#include "find/MovieRecord.h"
#include "platform/browser/BrowserProfile.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/PageAddress.h"
#include "web/WebPageController.h"

#include <exception>
#include <utility>

namespace tessaro {

namespace {

constexpr int kCheckMs = 100;

TMovieFacts RowFacts(const QString& input, const QString& page, const TMovieRow& row, const TMovieStore* store)
{
    TMovieFacts facts;
    facts.input = input;
    facts.url = row.address;
    facts.foundBy = row.foundIn == TFoundIn::Movie ? QStringLiteral("movie") : QStringLiteral("page");
    facts.source.page = page;
    if (row.kept != nullptr)
        facts.bytes = std::string_view(*row.kept);
    // The row's own needs: resolved as the reading resolved them, and
    // whether each was found.
    facts.needs = row.needs;
    if (store != nullptr) {
        if (const std::optional<TMovieStore::TRead> read = store->Read(row.address))
            facts.details = read->details;
    }
    return facts;
}

}  // namespace

TPageFinder::TPageFinder(const TFindOptions& options, TFindOutput& output)
    : options_(options), output_(output), page_(new TDocumentModelPage(PassingBrowserProfile(), this))
{
    const bool thorough = !options_.described;
    page_->SetFlashPlayerPresented(thorough);
    page_->SetReadsScriptFiles(thorough);
    connect(page_, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        loaded_ = true;
        loadFailed_ = loadFailed_ || !ok;
    });
    connect(page_, &TDocumentModelPage::DocumentComplete, this, [this] {
        if (controller_ == nullptr)
            return;
        controller_->PageCompleted();
        Snapshot(false);
    });
    connect(page_, &TDocumentModelPage::GrowthAfterComplete, this, [this] {
        if (controller_ != nullptr && controller_->GrowthWanted())
            Snapshot(true);
    });
    check_.setInterval(kCheckMs);
    connect(&check_, &QTimer::timeout, this, [this] { Check(); });
}

TPageFinder::~TPageFinder() = default;

void TPageFinder::Start(std::function<void()> done)
{
    done_ = std::move(done);
    Next();
}

void TPageFinder::Next()
{
    if (next_ >= options_.inputs.size()) {
        check_.stop();
        if (done_)
            done_();
        return;
    }
    input_ = options_.inputs[next_++];
    std::optional<QUrl> address;
    QString refusal = QStringLiteral("a local file is not opened as a page");
    try {
        address = PageAddressToLoad(input_);
    } catch (const std::exception& e) {
        refusal = QString::fromStdString(e.what());
    }
    if (!address) {
        output_.Error(input_, refusal);
        output_.InputDone(input_);
        QTimer::singleShot(0, this, [this] { Next(); });
        return;
    }
    controller_ = std::make_unique<TWebPageController>(nullptr, nullptr, options_.jobs);
    controller_->SetThoroughScan(!options_.described, false);
    connect(controller_.get(), &TWebPageController::GrowthToScan, this, [this] { Snapshot(true); });
    loaded_ = false;
    loadFailed_ = false;
    snapshotsPending_ = 0;
    snapshotError_.clear();
    sinceStart_.start();
    sinceEvent_.start();
    page_->load(*address);
    check_.start();
}

void TPageFinder::Snapshot(bool grow)
{
    ++snapshotsPending_;
    sinceEvent_.start();
    page_->TakeSnapshot([this, grow](const TDocumentSnapshot& snapshot) {
        --snapshotsPending_;
        sinceEvent_.start();
        if (controller_ == nullptr)
            return;
        if (snapshot.ok)
            controller_->StartPageScan(snapshot.json, grow, snapshot.cut, page_->url().toString());
        else if (!grow)
            snapshotError_ = snapshot.error;
    });
}

void TPageFinder::Check()
{
    if (controller_ == nullptr)
        return;
    if (sinceStart_.elapsed() > kPageBudgetMs) {
        Finish(
            QStringLiteral("the page was still busy after %1 s; its rows so far are listed").arg(kPageBudgetMs / 1000));
        return;
    }
    const bool busy =
        !loaded_ || snapshotsPending_ > 0 || controller_->PageScanRunning() || controller_->MovieReadingRunning();
    if (busy) {
        sinceEvent_.start();
        return;
    }
    if (sinceEvent_.elapsed() < kQuietMs)
        return;
    Finish(loadFailed_ ? QStringLiteral("the page did not load") : snapshotError_);
}

void TPageFinder::Finish(const QString& error)
{
    check_.stop();
    const QString page = page_->url().toString();
    const TMovieModel* movies = controller_->Movies();
    for (int i = 0; i < movies->RowCount(); ++i)
        output_.Movie(MovieRecord(RowFacts(input_, page, movies->Row(i), controller_->KeptMovies())));
    if (!error.isEmpty())
        output_.Error(input_, error);
    output_.InputDone(input_);
    // Its reads are cancelled and joined before the next page.
    controller_.reset();
    page_->triggerAction(QWebEnginePage::Stop);
    QTimer::singleShot(0, this, [this] { Next(); });
}

}  // namespace tessaro
