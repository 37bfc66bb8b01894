#include "platform/gui/DocumentModelPage.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantMap>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <utility>

namespace tessaro {

namespace {

const QString kScriptName = QStringLiteral("tessaro-document-model");
const QString kScriptResource = QStringLiteral(":/tessaro/DocumentModelScript.js");
const QString kFrameComplete = QStringLiteral("__tessaroDocumentModel:frame-complete");
constexpr int kPollIntervalMs = 10;
constexpr int kStartRetryMs = 50;

QString CollectorSource()
{
    QFile file(kScriptResource);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The document collector script is missing from the program's resources");
    return QString::fromUtf8(file.readAll());
}

}  // namespace

TDocumentModelPage::TDocumentModelPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent)
{
    QWebEngineScript script;
    script.setName(kScriptName);
    script.setSourceCode(CollectorSource());
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    scripts().insert(script);

    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        Finish(request_, {false, {}, QStringLiteral("The page did not give its documents in time"), polls_});
    });
    // A snapshot of the document that is being replaced is of no use; the
    // new document's completion asks again.
    connect(this, &QWebEnginePage::loadStarted, this, [this] {
        lastLoadFailed_ = false;
        Abandon();
    });
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) { lastLoadFailed_ = !ok; });
    connect(this, &QWebEnginePage::renderProcessTerminated, this, [this] {
        Finish(request_, {false, {}, QStringLiteral("The page's script world is gone"), polls_});
    });
}

void TDocumentModelPage::SetSnapshotTimeout(int timeoutMs, int frameBudgetMs)
{
    timeoutMs_ = timeoutMs;
    frameBudgetMs_ = frameBudgetMs;
}

void TDocumentModelPage::TakeSnapshot(SnapshotHandler done)
{
    Abandon();
    const quint64 request = ++request_;
    done_ = std::move(done);
    polls_ = 0;
    deadline_.start(timeoutMs_);
    Start(request);
}

void TDocumentModelPage::Start(quint64 request)
{
    const QString call = QStringLiteral(
                             "typeof __tessaroDocumentModel === 'object' ? __tessaroDocumentModel.start(%1) : -1")
                             .arg(frameBudgetMs_);
    runJavaScript(call, QWebEngineScript::ApplicationWorld, [this, alive = Alive(), request](const QVariant& result) {
        if (alive.expired() || request != request_ || !done_)
            return;
        bool isNumber = false;
        const int id = result.toInt(&isNumber);
        if (isNumber && id > 0) {
            Poll(request, id);
            return;
        }
        // The engine shows its own page for a load that failed, and runs no
        // scripts of ours there: that page simply holds no movies.
        if (lastLoadFailed_) {
            const QJsonObject empty{{QStringLiteral("url"), url().toString()}};
            Finish(request, {true, QJsonDocument(empty).toJson(QJsonDocument::Compact), {}, polls_});
            return;
        }
        // The script may not be in place yet; the deadline ends the retries.
        QTimer::singleShot(kStartRetryMs, this, [this, request] {
            if (request == request_ && done_)
                Start(request);
        });
    });
}

void TDocumentModelPage::Poll(quint64 request, int id)
{
    QTimer::singleShot(kPollIntervalMs, this, [this, request, id] {
        if (request != request_ || !done_)
            return;
        ++polls_;
        const QString call =
            QStringLiteral("typeof __tessaroDocumentModel === 'object' ? __tessaroDocumentModel.take(%1) : -1").arg(id);
        runJavaScript(call, QWebEngineScript::ApplicationWorld, [this, alive = Alive(), request, id](const QVariant& result) {
            if (alive.expired() || request != request_ || !done_)
                return;
            if (result.typeId() == QMetaType::QVariantMap) {
                const QVariantMap answer = result.toMap();
                if (answer.contains(QStringLiteral("json")))
                    Finish(request, {true, answer.value(QStringLiteral("json")).toString().toUtf8(), {}, polls_});
                else
                    Finish(request, {false, {}, QStringLiteral("The page's documents cannot be read: ")
                                                    + answer.value(QStringLiteral("error")).toString(), polls_});
                return;
            }
            if (result.isValid() && result.toInt() == 0) {
                Poll(request, id);
                return;
            }
            Finish(request, {false, {}, QStringLiteral("The page's script world is gone"), polls_});
        });
    });
}

std::weak_ptr<int> TDocumentModelPage::Alive() const
{
    return alive_;
}

void TDocumentModelPage::Finish(quint64 request, TDocumentSnapshot snapshot)
{
    if (request != request_ || !done_)
        return;
    deadline_.stop();
    // The handler may ask for the next snapshot, so it is taken out first.
    SnapshotHandler done = std::exchange(done_, nullptr);
    done(snapshot);
}

void TDocumentModelPage::Abandon()
{
    ++request_;
    done_ = nullptr;
    deadline_.stop();
}

void TDocumentModelPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                                  int lineNumber, const QString& sourceID)
{
    // Only our own script's messages count: a page script cannot write under
    // the user script's source.
    if (message == kFrameComplete && sourceID == QStringLiteral("userscript:") + kScriptName) {
        emit FrameComplete();
        return;
    }
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

}  // namespace tessaro
