#pragma once

#include "download/SavedLayout.h"
#include "platform/core/Job.h"
#include "scan/MovieNeeds.h"
#include "scan/MovieRows.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace tessaro {

// The manifest a save leaves in its folder, one JSON line per file.
inline constexpr char kManifestName[] = "tessaro-manifest.jsonl";

// A checked row to save with what it needs.
struct TSaveRoot {
    QString address;           // its address as the row shows it; empty for a cache row the cache knows no address of
    QUrl url;                  // where it is kept for: what names its place
    QString base;              // where its loads resolve (the player's base); empty: its address
    TKeptBytes kept;           // its bytes when the program holds them
    QString localPath;         // a cache row's copy
    QList<TNeededFile> needs;  // what is known to be needed already (the player's asks among them)
};

// Where a file's bytes come from, in this order.
struct TSaveSources {
    struct TFetched {
        bool ok = false;  // a 2xx answer, whole
        long status = 0;  // 0: no answer
        std::string bytes;
        std::string error;
    };
    using Fetcher = std::function<TFetched(const QUrl& url, const std::atomic<bool>& cancelled)>;

    // The bytes the reading of the page kept for an address (null: none).
    std::function<TKeptBytes(const QString& address)> kept;
    // The cache page's copies by their address, case-folded.
    QHash<QString, QString> cached;
    // What the web archives that recorded the saved rows hold for an address
    // (null: nothing); asked first for a file a movie needs.
    std::function<TKeptBytes(const QString& address, const std::atomic<bool>& cancelled)> archived;
    // The web; null where the web is not asked (the cache page).
    Fetcher fetch;
};

// One line of the manifest.
struct TSavedFile {
    QString url;
    QString file;  // relative to the folder; empty unless saved
    std::uint64_t size = 0;
    QString sha256;
    QString neededBy;  // the movie that named it; empty for a checked row
    TFoundBy foundBy = TFoundBy::Page;
    QString status;  // "saved", "missing", "failed"
    QString reason;
    TNeedState found = TNeedState::Unknown;  // where its bytes came from
    int root = -1;                           // the checked row it is, or -1
};

struct TSaveOutcome {
    QList<TSavedFile> files;  // in the order they were taken
    int saved = 0;
    int missing = 0;  // missing or failed
    bool stopped = false;
    QString manifestError;  // why the manifest could not be written; empty when it was
};

// Saves checked rows and every file they need, their loads' loads in turn
// (kMaxNeedLevels below a row), each under SavedPlace() of its address in
// the folder, written whole or not at all; a movie only when whole by its
// header, never an error page. At the end the manifest is written. Runs as
// a job; the cancel ends it between files and inside a fetch.
class TSaveWithNeeds {
public:
    static constexpr int kMaxNeedLevels = 3;
    static constexpr int kMaxFiles = 4096;  // files one save takes, rows and needs together
    static constexpr std::uint64_t kMaxFileBytes = std::uint64_t(512) << 20;
    // Takes (files done, files known) on the owner's thread.
    using ProgressHandler = std::function<void(int done, int known)>;

    TSaveWithNeeds(QString folder, QList<TSaveRoot> roots, TSaveSources sources, ProgressHandler progress = {});

    TSaveOutcome operator()(JobControl& job);

    // The manifest's line for one file.
    static QByteArray ManifestLine(const TSavedFile& file);

private:
    struct TWanted;
    struct TBytes;

    TBytes Take(const TWanted& wanted, const std::atomic<bool>& cancelled) const;
    // Saves what was taken; a movie's needs join wanted.
    void SaveOne(const TWanted& wanted, const TBytes& bytes, TSavedFile& file, QList<TWanted>& queue,
                 const std::atomic<bool>& cancelled);
    void Want(const TWanted& wanted, QList<TWanted>& queue);
    bool WriteFile(const QString& place, const std::string& bytes, QString& error) const;
    void WriteManifest(TSaveOutcome& outcome) const;

    QString folder_;
    QList<TSaveRoot> roots_;
    TSaveSources sources_;
    ProgressHandler progress_;
    TSavedLayout layout_;
    QHash<QString, int> taken_;  // addresses taken, case-folded
};

// The status while a save of that many checked rows runs.
QString SavingText(qsizetype movies);
// How a save ended, for the status bar: "Saved N files, M missing", or that it was stopped.
QString SaveEndText(const TSaveOutcome& outcome);
// What the save threw, or that its manifest could not be written; null when neither.
std::exception_ptr SaveFailure(const JobEnd<TSaveOutcome>& end);

// Over HTTP, with the download's rules and limits, where the page lets the program reach.
TSaveSources::Fetcher WebFileFetcher(const QString& pageAddress);

}  // namespace tessaro
