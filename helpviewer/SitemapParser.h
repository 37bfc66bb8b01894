#pragma once

#include <QString>

#include <vector>

namespace tessaro {

// One entry of a help file's table of contents.
struct ContentsEntry {
    QString name;
    QString local;  // the page it opens, a path inside the help file; may be empty
    std::vector<ContentsEntry> children;
};

// Reads a sitemap (.hhc): nested UL lists whose LI items each hold an
// OBJECT of type "text/sitemap" with "Name" and "Local" params. Tolerates the
// loose HTML these files are written in (missing end tags, any case).
std::vector<ContentsEntry> ParseSitemap(const QString& text);

}  // namespace tessaro
