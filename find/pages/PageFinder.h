#pragma once

#include "find/FindOptions.h"
#include "find/FindOutput.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace tessaro {

class TDocumentModelPage;
class TWebPageController;

// `page URL`: loads each page in the web engine without a view and has the
// web page's own controller scan it, as the window does: every snapshot of
// a completed frame, the growths after it, and the reading of the movies
// found. Once the page is quiet its rows are written, in the list's order.
class TPageFinder : public QObject {
    Q_OBJECT
public:
    // How long a page may keep the scan busy before its rows are written as
    // they stand, and how long it must be quiet to be done.
    static constexpr int kPageBudgetMs = 120000;
    static constexpr int kQuietMs = 1500;

    TPageFinder(const TFindOptions& options, TFindOutput& output);
    ~TPageFinder() override;

    // Scans the inputs one after another; done once the last is written.
    void Start(std::function<void()> done);

private:
    void Next();
    void Snapshot(bool grow);
    void Check();
    void Finish(const QString& error);

    const TFindOptions options_;
    TFindOutput& output_;
    std::function<void()> done_;
    TDocumentModelPage* page_;
    std::unique_ptr<TWebPageController> controller_;
    qsizetype next_ = 0;
    QString input_;
    bool loaded_ = false;
    bool loadFailed_ = false;
    int snapshotsPending_ = 0;
    QString snapshotError_;
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceEvent_;
    QTimer check_;
};

}  // namespace tessaro
