// The scan of a loaded page for Flash movies.

#include <stdexcept>

#include "app/ErrorReport.h"
#include "app/MirkMainForm.h"
#include "platform/browser/DocumentModelPage.h"
#include "platform/browser/WebBrowser.h"
#include "scan/DocumentSnapshot.h"
#include "scan/ScanDocument.h"

namespace tessaro {

void TMainFrm::WebBrowser1DocumentComplete()
{
    // The snapshot comes back through the event loop, so the window stays
    // live while the page's frames answer. Every run scans from the top
    // document; a newer notification replaces a pending one.
    WebBrowser1->Document()->TakeSnapshot([this](const TDocumentSnapshot& snapshot) {
        try {
            if (!snapshot.ok)
                throw std::runtime_error(snapshot.error.toStdString());
            const THtmlDocument document = DocumentFromSnapshot(snapshot.json);
            FoundMovies->clear();
            TFoundMovies found(*FoundMovies);
            ScanDocument(&document, found);
        } catch (const std::exception& error) {
            // The list keeps the rows of the last scan.
            ShowErrorReport(error);
            return;
        }
        ShowFoundMovies();
        CheckAllRows(true);
        SetStatusText("Done");
    });
}

}  // namespace tessaro
