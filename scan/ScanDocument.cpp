#include "scan/ScanDocument.h"

namespace tessaro {

void ScanDocument(const THtmlDocument* document, TFoundMovies& found)
{
    if (document == nullptr)
        return;
    ScanDocumentElements(document, found);
    if (!document->frames.empty())
        ScanFrames(*document, found);
}

void ScanFrames(const THtmlDocument& document, TFoundMovies& found)
{
    for (const THtmlDocument& frame : document.frames) {
        ScanDocumentElements(&frame, found);
        ScanFrames(frame, found);
    }
}

void ScanDocumentElements(const THtmlDocument* document, TFoundMovies& found)
{
    if (document == nullptr)
        return;
    // References resolve against the document's base address.
    const QString& pageAddress = document->BaseAddress();
    ScanObjects(pageAddress, document->applets, found);
    ScanEmbeds(pageAddress, document->embeds, found);
    ScanScripts(pageAddress, document->scripts, found);
}

}  // namespace tessaro
