#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QWebEnginePage>

#include <functional>
#include <memory>

class QWebEngineProfile;

namespace tessaro {

// One snapshot of every document of the page: the JSON tree the collector
// script assembled, or why none could be taken.
struct TDocumentSnapshot {
    bool ok = false;
    QByteArray json;
    QString error;
    int polls = 0;  // how often the program asked before the tree was ready
};

// The page of the embedded browser, with the HTML document model: a collector
// script runs in an isolated world of every frame, and the program asks the
// top frame for the assembled tree. Also reports frames that finish loading.
class TDocumentModelPage : public QWebEnginePage {
    Q_OBJECT
public:
    using SnapshotHandler = std::function<void(const TDocumentSnapshot&)>;

    TDocumentModelPage(QWebEngineProfile* profile, QObject* parent);

    // Takes a snapshot without blocking: done runs later on the UI thread,
    // once, with the tree or an error (no script world, time-out). A newer
    // request or a new navigation abandons a pending one without calling it.
    void TakeSnapshot(SnapshotHandler done);

    // The longest a snapshot may take before it fails, and the part of it the
    // script may spend waiting for cross-origin frames to answer.
    void SetSnapshotTimeout(int timeoutMs, int frameBudgetMs);

signals:
    // A frame finished loading (its load event), in any document of the page.
    void FrameComplete();

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int lineNumber,
                                  const QString& sourceID) override;

private:
    void Start(quint64 request);
    void Poll(quint64 request, int id);
    void Finish(quint64 request, TDocumentSnapshot snapshot);
    void Abandon();
    // The engine may call back while the page's base class is destroyed; the
    // callbacks look at this first.
    std::weak_ptr<int> Alive() const;

    quint64 request_ = 0;  // the pending request; answers to older ones are dropped
    SnapshotHandler done_;
    QTimer deadline_;
    int polls_ = 0;
    int timeoutMs_ = 15000;
    int frameBudgetMs_ = 3000;
    bool lastLoadFailed_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace tessaro
