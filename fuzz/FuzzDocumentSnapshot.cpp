#include "platform/browser/CollectorReports.h"
#include "scan/DocumentSnapshot.h"
#include "scan/FoundMovies.h"
#include "scan/ScanDocument.h"

#include <QByteArray>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace {

int Depth(const tessaro::THtmlDocument& document)
{
    int deepest = 0;
    for (const tessaro::THtmlDocument& frame : document.frames)
        deepest = std::max(deepest, 1 + Depth(frame));
    return deepest;
}

}  // namespace

// A page's snapshot as the collector scripts hand it over: the first line is
// the top tree, each further line one frame's report. Put together, built
// into the document tree within its bounds, and scanned for movies.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayList lines =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    tessaro::TCollectorReports reports;
    reports.SetTop(lines.value(0));
    for (qsizetype i = 1; i < lines.size(); ++i)
        reports.AddReport(lines[i]);
    try {
        const tessaro::THtmlDocument document = tessaro::DocumentFromSnapshot(reports.Assembled());
        if (Depth(document) > tessaro::kMaxSnapshotFrameDepth ||
            document.embeds.size() > std::size_t(tessaro::kMaxSnapshotElements))
            __builtin_trap();
        tessaro::TMovieRows movies;
        tessaro::TFoundMovies found(movies);
        tessaro::ScanDocument(&document, found);
        tessaro::ScanDocumentThorough(&document, found);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
