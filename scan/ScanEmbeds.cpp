#include "scan/ScanDocument.h"

namespace tessaro {

void ScanEmbeds(const QString& pageAddress, const std::vector<THtmlEmbedElement>& embeds, TFoundMovies& found)
{
    for (const THtmlEmbedElement& embed : embeds) {
        if (embed.src.toLower().contains(QLatin1String(".swf")))
            found.Add(pageAddress, embed.src);
    }
}

}  // namespace tessaro
