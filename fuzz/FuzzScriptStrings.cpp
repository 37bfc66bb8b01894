#include "scan/FoundMovies.h"
#include "scan/MovieReferences.h"
#include "scan/ScanDocument.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

const QString kPage = QStringLiteral("http://host.test/page/index.html");

// The finder and the escapes look at each character a few times at most.
constexpr qsizetype kMaxWorkPerCharacter = 16;

void Check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

}  // namespace

// A page's script text (UTF-8): its quoted strings, its escapes undone, and
// the rows the described and the thorough script scans give. No row holds a
// control character, the rows stay within the page's cap, and the work stays
// in proportion to the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString script = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    qsizetype examined = 0;
    const QStringList strings = tessaro::QuotedScriptStrings(script, &examined);
    Check(examined <= kMaxWorkPerCharacter * (script.size() + 1));
    examined = 0;
    tessaro::UndoScriptEscapes(script, &examined);
    Check(examined <= kMaxWorkPerCharacter * (script.size() + 1));

    tessaro::THtmlDocument document;
    document.URL = kPage;
    document.scripts = {{script, strings.value(0)}};
    tessaro::TMovieRows rows;
    tessaro::TFoundMovies found(rows);
    tessaro::ScanScripts(kPage, document.scripts, found);
    tessaro::ScanDocumentThorough(&document, found);
    for (const QString& string : strings)
        found.Add(kPage, tessaro::UndoScriptEscapes(string));
    Check(rows.Size() <= tessaro::kMaxPageRows);
    for (const QString& row : rows.Addresses())
        Check(!tessaro::HoldsControlCharacter(row) && row.size() <= tessaro::kMaxRowAddress);
    return 0;
}
