#include "scan/ScanDocument.h"

namespace tessaro {

void ScanObjects(const QString& pageAddress, const std::vector<THtmlObjectElement>& applets, TFoundMovies& found)
{
    for (const THtmlObjectElement& object : applets) {
        if (!object.codeBase.toLower().contains(VendorDomain))
            continue;
        // An object naming the vendor without hosting the player is not a
        // movie; it is passed over rather than ending the page's scan.
        // One without a movie gives nothing to resolve.
        if (!object.hostsFlash || object.Movie.isEmpty())
            continue;
        found.Add(pageAddress, object.Movie);
    }
}

}  // namespace tessaro
