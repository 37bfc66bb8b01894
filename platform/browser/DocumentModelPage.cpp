#include "platform/browser/DocumentModelPage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <utility>

namespace tessaro {

namespace {

const QString kScriptName = QStringLiteral("tessaro-document-model");
const QString kScriptResource = QStringLiteral(":/tessaro/DocumentModelScript.js");
const QString kFrameComplete = QStringLiteral("__tessaroDocumentModel:frame-complete");
const QString kFrameTree = QStringLiteral("__tessaroDocumentModel:tree ");
const QLatin1String kSlotKey("\"slot\":");
constexpr int kStartRetryMs = 50;
constexpr int kMaxReports = 10000;  // bounds what a page can make us keep
constexpr int kMaxDepth = 64;

QString CollectorSource()
{
    QFile file(kScriptResource);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The document collector script is missing from the program's resources");
    return QString::fromUtf8(file.readAll());
}

}  // namespace

TDocumentModelPage::TDocumentModelPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent)
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
        Finish(request_, {false, {}, QStringLiteral("The page did not give its documents in time")});
    });
    frameDeadline_.setSingleShot(true);
    connect(&frameDeadline_, &QTimer::timeout, this, [this] { Assemble(true); });
    // A snapshot of the document that is being replaced is of no use; the
    // new document's completion asks again.
    connect(this, &QWebEnginePage::loadStarted, this, [this] {
        lastLoadFailed_ = false;
        Abandon();
    });
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) { lastLoadFailed_ = !ok; });
    connect(this, &QWebEnginePage::renderProcessTerminated, this, [this] {
        Finish(request_, {false, {}, QStringLiteral("The page's script world is gone")});
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
    const quint64 request = request_;
    done_ = std::move(done);
    deadline_.start(timeoutMs_);
    Start(request);
}

void TDocumentModelPage::Start(quint64 request)
{
    const QString call =
        QStringLiteral("typeof __tessaroDocumentModel === 'object' ? __tessaroDocumentModel.collect() : -1");
    runJavaScript(call, QWebEngineScript::ApplicationWorld, [this, alive = Alive(), request](const QVariant& result) {
        if (alive.expired() || request != request_ || !done_ || haveTop_)
            return;
        if (result.typeId() == QMetaType::QString) {
            TopTreeArrived(result.toString().toUtf8());
            return;
        }
        // The engine shows its own page for a load that failed, and runs no
        // scripts of ours there: that page simply holds no movies.
        if (lastLoadFailed_) {
            const QJsonObject empty{{QStringLiteral("url"), url().toString()}};
            Finish(request, {true, QJsonDocument(empty).toJson(QJsonDocument::Compact), {}});
            return;
        }
        // The script may not be in place yet; the deadline ends the retries.
        QTimer::singleShot(kStartRetryMs, this, [this, request] {
            if (request == request_ && done_)
                Start(request);
        });
    });
}

void TDocumentModelPage::TopTreeArrived(const QByteArray& json)
{
    // Page texts in the tree are JSON strings, where a quote is escaped, so
    // the bare key only stands where a cross-origin frame left a slot.
    if (!json.contains(kSlotKey)) {
        Finish(request_, {true, json, {}});
        return;
    }
    const QJsonDocument parsed = QJsonDocument::fromJson(json);
    if (!parsed.isObject()) {
        Finish(request_, {false, {}, QStringLiteral("The page's documents cannot be read")});
        return;
    }
    haveTop_ = true;
    top_ = parsed.object();
    frameDeadline_.start(frameBudgetMs_);
    Assemble(false);
}

void TDocumentModelPage::FrameReported(const QString& report)
{
    if (!done_ || reports_.size() >= kMaxReports)
        return;
    const QJsonObject parsed = QJsonDocument::fromJson(report.toUtf8()).object();
    const QString slot = parsed.value(QStringLiteral("slot")).toString();
    const QJsonValue tree = parsed.value(QStringLiteral("tree"));
    if (slot.isEmpty() || !tree.isObject() || reports_.contains(slot))
        return;
    reports_.insert(slot, tree.toObject());
    if (haveTop_)
        Assemble(false);
}

void TDocumentModelPage::Assemble(bool final)
{
    if (!done_ || !haveTop_)
        return;
    QSet<QString> missing;
    const QJsonObject tree = Assembled(top_, missing, 0);
    if (missing.isEmpty() || final)
        Finish(request_, {true, QJsonDocument(tree).toJson(QJsonDocument::Compact), {}});
}

QJsonObject TDocumentModelPage::Assembled(const QJsonObject& tree, QSet<QString>& missing, int depth) const
{
    QJsonObject result = tree;
    QJsonArray frames;
    for (const QJsonValue& frame : tree.value(QStringLiteral("frames")).toArray()) {
        const QJsonObject object = frame.toObject();
        const QString slot = object.value(QStringLiteral("slot")).toString();
        if (depth >= kMaxDepth) {
            frames.append(QJsonValue::Null);
        } else if (slot.isEmpty()) {
            frames.append(frame.isObject() ? QJsonValue(Assembled(object, missing, depth + 1)) : QJsonValue::Null);
        } else if (const auto reported = reports_.constFind(slot); reported != reports_.constEnd()) {
            frames.append(Assembled(*reported, missing, depth + 1));
        } else {
            missing.insert(slot);
            frames.append(QJsonValue::Null);
        }
    }
    result.insert(QStringLiteral("frames"), frames);
    return result;
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
    frameDeadline_.stop();
    // The handler may ask for the next snapshot, so it is taken out first.
    SnapshotHandler done = std::exchange(done_, nullptr);
    done(snapshot);
}

void TDocumentModelPage::Abandon()
{
    ++request_;
    done_ = nullptr;
    deadline_.stop();
    frameDeadline_.stop();
    haveTop_ = false;
    top_ = {};
    reports_.clear();
}

void TDocumentModelPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                                  int lineNumber, const QString& sourceID)
{
    // Only our own script's messages count: a page script cannot write under
    // the user script's source.
    if (sourceID == QStringLiteral("userscript:") + kScriptName) {
        if (message == kFrameComplete) {
            emit FrameComplete();
            return;
        }
        if (message.startsWith(kFrameTree)) {
            FrameReported(message.mid(kFrameTree.size()));
            return;
        }
    }
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

}  // namespace tessaro
