#pragma once

#include "platform/browser/CollectorReports.h"

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QWebEnginePage>

#include <functional>
#include <memory>

class QWebEngineProfile;

namespace tessaro {

// One snapshot of every document of the page: the JSON tree of the page's
// documents, or why none could be taken.
struct TDocumentSnapshot {
    bool ok = false;
    QByteArray json;
    QString error;
    // Something was past a bound (an attribute, script text, elements, a
    // frame's report) and is left out of the tree.
    bool cut = false;
};

// The page of the embedded browser, with the HTML document model: a collector
// script runs in an isolated world of every frame. The top frame gives its
// tree, in which each cross-origin frame is a slot; the script in that frame
// reports its own tree under the slot on the console, and the page puts the
// pieces together. Also reports frames that finish loading. Console reports
// count only with the secret written into the script for the current load.
class TDocumentModelPage : public QWebEnginePage {
    Q_OBJECT
public:
    using SnapshotHandler = std::function<void(const TDocumentSnapshot&)>;

    TDocumentModelPage(QWebEngineProfile* profile, QObject* parent);

    // Takes a snapshot without blocking: done runs later on the UI thread,
    // once, with the tree or an error (no script world, time-out). A newer
    // request or a new navigation abandons a pending one without calling it.
    void TakeSnapshot(SnapshotHandler done);

    // The longest a snapshot may take before it fails, and how long the
    // cross-origin frames may take to report; a frame that has not reported
    // by then is left out.
    void SetSnapshotTimeout(int timeoutMs, int frameBudgetMs);

    // Whether trees carry the texts of the documents' external script files,
    // from the next page loaded on; they do unless told otherwise.
    void SetReadsScriptFiles(bool reads) { readsScriptFiles_ = reads; }
    // Whether pages see a Flash player in navigator.plugins and mimeTypes,
    // from the next page loaded on.
    void SetFlashPlayerPresented(bool presented);

signals:
    // The top page finished loading, and later each frame that finishes after it.
    void DocumentComplete();
    // Elements were added to a document of the page after the top page completed.
    void GrowthAfterComplete();
    // A frame finished loading (its load event), in any document of the page.
    void FrameComplete();
    // Elements that may hold a movie were added to a document of the page
    // after it completed (announced for a bounded time, at a bounded rate).
    void ElementsAdded();

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;

private:
    // Installs the collector with a fresh secret, for the load to come.
    void InstallCollector();
    void Start(quint64 request);
    void TopTreeArrived(const QByteArray& json);
    void FrameReported(QStringView report);
    // Finishes with the assembled tree when no frame is missing, or when
    // final, with the missing ones left out.
    void Assemble(bool final);
    void Finish(quint64 request, const TDocumentSnapshot& snapshot);
    void Abandon();
    // The engine may call back while the page's base class is destroyed; the
    // callbacks look at this first.
    std::weak_ptr<int> Alive() const;

    quint64 request_ = 0;  // the pending request; answers to older ones are dropped
    SnapshotHandler done_;
    QTimer deadline_;
    QTimer frameDeadline_;
    QString secret_;  // of the collector installed for the current load
    TCollectorReports reports_;
    int timeoutMs_ = 15000;
    int frameBudgetMs_ = 3000;
    bool lastLoadFailed_ = false;
    bool readsScriptFiles_ = true;
    bool topComplete_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace tessaro
