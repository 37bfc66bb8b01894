#include "platform/player/FlashControl.h"

#include "platform/player/PlayerAddresses.h"
#include "platform/player/PlayerScheme.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <functional>

namespace tessaro {

namespace {

constexpr QLatin1StringView kReportPrefix("tessaro-player:");

// Texts handed to the page as JavaScript string literals.
QString JsString(const QString& text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

QString JsStringOrNull(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("null") : JsString(text);
}

TMovieMetadata MetadataFromJson(const QJsonObject& json)
{
    TMovieMetadata metadata;
    metadata.width = json.value(QLatin1String("width")).toInt();
    metadata.height = json.value(QLatin1String("height")).toInt();
    metadata.swfVersion = json.value(QLatin1String("swfVersion")).toInt();
    metadata.frameRate = json.value(QLatin1String("frameRate")).toDouble();
    metadata.numFrames = json.value(QLatin1String("numFrames")).toInt();
    metadata.backgroundColor = json.value(QLatin1String("backgroundColor")).toString();
    metadata.isActionScript3 = json.value(QLatin1String("isActionScript3")).toBool();
    return metadata;
}

}  // namespace

// The player page; hands the player's report lines to the control.
class TPlayerPage : public QWebEnginePage {
public:
    TPlayerPage(std::function<void(const QString&)> onReport, QObject* parent)
        : QWebEnginePage(PlayerProfile(), parent), onReport_(std::move(onReport))
    {
    }

protected:
    // The page never leaves the player: not for a link, a dropped file or a
    // movie that asks for another page.
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        return isMainFrame && url == PlayerAddresses::PageUrl();
    }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString& sourceId) override
    {
        // Only the page's own script reports; a movie's trace lines come from
        // Ruffle's scripts and are ignored.
        static const QUrl reporter = PlayerAddresses::PageUrl().resolved(QUrl(QStringLiteral("player.js")));
        if (QUrl(sourceId) == reporter && message.startsWith(kReportPrefix))
            onReport_(message.mid(kReportPrefix.size()));
    }

private:
    std::function<void(const QString&)> onReport_;
};

TShockwaveFlash::TShockwaveFlash(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void TShockwaveFlash::Prepare()
{
    if (view_ == nullptr)
        StartPlayer();
}

void TShockwaveFlash::StartPlayer()
{
    connect(PlayerSchemeHandler(), &TPlayerSchemeHandler::MovieAsked, this, &TShockwaveFlash::MovieAsked);
    view_ = new QWebEngineView(this);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->setAcceptDrops(false);
    page_ = new TPlayerPage([this](const QString& line) { PlayerLine(line); }, view_);
    page_->setBackgroundColor(Qt::transparent);
    QWebEngineSettings* settings = page_->settings();
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    view_->setPage(page_);
    layout()->addWidget(view_);
    // A renderer that died takes the player with it: start a fresh one and
    // play the movie again.
    connect(page_, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus, int) { LoadPlayerPage(); });
    LoadPlayerPage();
}

TShockwaveFlash::~TShockwaveFlash() = default;

void TShockwaveFlash::LoadPlayerPage()
{
    playerReady_ = false;
    metadata_.reset();
    page_->load(PlayerAddresses::PageUrl());
}

void TShockwaveFlash::SetMovie(const QString& movie, std::shared_ptr<const std::string> kept, const QString& page)
{
    SetMovie(PlayerMovieUrl(movie), std::move(kept), page);
}

void TShockwaveFlash::SetMovie(const QUrl& movie, std::shared_ptr<const std::string> kept, const QString& page)
{
    movie_ = movie;
    kept_ = std::move(kept);
    pageAddress_ = page;
    ++generation_;
    metadata_.reset();
    if (view_ == nullptr) {
        // The player plays the movie now set once it is ready.
        if (!movie.isEmpty())
            StartPlayer();
        return;
    }
    if (playerReady_)
        ShowMovie();
}

void TShockwaveFlash::ShowMovie()
{
    if (movie_.isEmpty()) {
        PlayerSchemeHandler()->ShowMovie(QString());
        page_->runJavaScript(QStringLiteral("tessaroPlayer.clear(%1)").arg(generation_));
        return;
    }
    const PlayerMovieAddress address = PlayerSchemeHandler()->ShowMovie(movie_, kept_, pageAddress_);
    page_->runJavaScript(QStringLiteral("tessaroPlayer.play(%1, %2, %3, %4, %5)")
                             .arg(generation_)
                             .arg(JsString(address.url.toString(QUrl::FullyEncoded)),
                                  JsStringOrNull(address.base.toString(QUrl::FullyEncoded)),
                                  JsStringOrNull(address.siteOrigin),
                                  JsStringOrNull(address.siteRoot.toString(QUrl::FullyEncoded))));
}

void TShockwaveFlash::PlayerLine(const QString& line)
{
    // "<kind> <generation> <json>"
    const QString kind = line.section(QLatin1Char(' '), 0, 0);
    const int generation = line.section(QLatin1Char(' '), 1, 1).toInt();
    const QString json = line.section(QLatin1Char(' '), 2);
    if (kind == QLatin1String("ready")) {
        playerReady_ = true;
        if (!movie_.isEmpty())
            ShowMovie();
    } else if (kind == QLatin1String("metadata") && generation == generation_) {
        metadata_ = MetadataFromJson(QJsonDocument::fromJson(json.toUtf8()).object());
        emit MovieMetadata(*metadata_);
    }
}

}  // namespace tessaro
