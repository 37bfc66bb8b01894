#include "platform/browser/DocumentModelPage.h"

#include "platform/core/SnapshotBounds.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <utility>

namespace tessaro {

namespace {

const QString kScriptName = QStringLiteral("tessaro-document-model");
const QString kScriptResource = QStringLiteral(":/tessaro/DocumentModelScript.js");
const QString kFrameComplete = QStringLiteral("__tessaroDocumentModel:frame-complete ");
const QString kElementsAdded = QStringLiteral("__tessaroDocumentModel:elements-added ");
const QString kFrameTree = QStringLiteral("__tessaroDocumentModel:tree ");
constexpr int kStartRetryMs = 50;
const QString kFlashPlayerScriptName = QStringLiteral("tessaro-flash-player");
const QString kFlashPlayerScriptResource = QStringLiteral(":/tessaro/FlashPlayerScript.js");

QWebEngineScript FlashPlayerScript()
{
    QFile file(kFlashPlayerScriptResource);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The Flash player script is missing from the program's resources");
    QWebEngineScript script;
    script.setName(kFlashPlayerScriptName);
    script.setSourceCode(QString::fromUtf8(file.readAll()));
    // Before any script of the page, in the page's own world, where
    // detection scripts read navigator.
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    return script;
}

QString CollectorSource()
{
    QFile file(kScriptResource);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The document collector script is missing from the program's resources");
    return QString::fromUtf8(file.readAll());
}

// 128 random bits as hex.
QString NewSecret()
{
    quint64 bits[2];
    QRandomGenerator::system()->fillRange(bits);
    return QString::number(bits[0], 16).rightJustified(16, u'0') +
           QString::number(bits[1], 16).rightJustified(16, u'0');
}

}  // namespace

TDocumentModelPage::TDocumentModelPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent)
{
    InstallCollector();

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
        topComplete_ = false;
        Abandon();
        InstallCollector();
    });
    // The top page completes once; a frame that finishes after it (a frame
    // added later, or a link followed inside a frame) completes it again.
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        lastLoadFailed_ = !ok;
        topComplete_ = true;
        emit DocumentComplete();
    });
    connect(this, &TDocumentModelPage::FrameComplete, this, [this] {
        if (topComplete_)
            emit DocumentComplete();
    });
    connect(this, &TDocumentModelPage::ElementsAdded, this, [this] {
        if (topComplete_)
            emit GrowthAfterComplete();
    });
    connect(this, &QWebEnginePage::renderProcessTerminated, this, [this] {
        Finish(request_, {false, {}, QStringLiteral("The page's script world is gone")});
    });
}

void TDocumentModelPage::InstallCollector()
{
    for (const QWebEngineScript& old : scripts().find(kScriptName))
        scripts().remove(old);
    secret_ = NewSecret();
    QString source = CollectorSource();
    source.replace(QLatin1String("@SECRET@"), secret_);
    source.replace(QLatin1String("@MAX_SCRIPT_TEXT@"), QString::number(kMaxSnapshotScriptText));
    source.replace(QLatin1String("@MAX_ELEMENTS@"), QString::number(kMaxSnapshotElements));
    source.replace(QLatin1String("@MAX_FRAME_DEPTH@"), QString::number(kMaxSnapshotFrameDepth));
    source.replace(QLatin1String("@MAX_ATTRIBUTE_TEXT@"), QString::number(kMaxSnapshotAttributeText));
    source.replace(QLatin1String("@READS_SCRIPT_FILES@"),
                   readsScriptFiles_ ? QLatin1String("true") : QLatin1String("false"));
    QWebEngineScript script;
    script.setName(kScriptName);
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    scripts().insert(script);
}

void TDocumentModelPage::SetFlashPlayerPresented(bool presented)
{
    QWebEngineScriptCollection& collection = scripts();
    const QList<QWebEngineScript> present = collection.find(kFlashPlayerScriptName);
    if (presented && present.isEmpty())
        collection.insert(FlashPlayerScript());
    for (const QWebEngineScript& script : present) {
        if (!presented)
            collection.remove(script);
    }
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
        if (alive.expired() || request != request_ || !done_ || reports_.HaveTop())
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
        // The script may not be in place yet, or still reading the external
        // script files; the deadline ends the retries.
        QTimer::singleShot(kStartRetryMs, this, [this, request] {
            if (request == request_ && done_)
                Start(request);
        });
    });
}

void TDocumentModelPage::TopTreeArrived(const QByteArray& json)
{
    reports_.SetTop(json);
    if (!reports_.HaveTop()) {
        Finish(request_, {false, {}, QStringLiteral("The page's documents are too large to read")});
        return;
    }
    frameDeadline_.start(frameBudgetMs_);
    Assemble(false);
}

void TDocumentModelPage::FrameReported(QStringView report)
{
    if (!done_)
        return;
    reports_.AddReport(report.toUtf8());
    Assemble(false);
}

void TDocumentModelPage::Assemble(bool final)
{
    if (!done_ || !reports_.HaveTop())
        return;
    if (reports_.Complete() || final)
        Finish(request_, {true, reports_.Assembled(), {}, reports_.Cut()});
}

std::weak_ptr<int> TDocumentModelPage::Alive() const
{
    return alive_;
}

void TDocumentModelPage::Finish(quint64 request, const TDocumentSnapshot& snapshot)
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
    reports_.Clear();
}

void TDocumentModelPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                                  int lineNumber, const QString& sourceID)
{
    // Only our own script's messages count. A page script can write under
    // the user script's source too, but cannot know the secret.
    if (sourceID == QStringLiteral("userscript:") + kScriptName) {
        const QStringView text(message);
        if (text == QString(kFrameComplete + secret_)) {
            emit FrameComplete();
            return;
        }
        if (text == kElementsAdded + secret_) {
            emit ElementsAdded();
            return;
        }
        const QString treePrefix = kFrameTree + secret_ + u' ';
        if (text.startsWith(treePrefix)) {
            FrameReported(text.sliced(treePrefix.size()));
            return;
        }
    }
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}

}  // namespace tessaro
