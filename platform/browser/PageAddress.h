#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tessaro {

// The address a page is loaded from for text given as a browser's address
// bar takes it. Nothing for a local file, however the text names it
// ("file://...", "/etc/passwd", "~/page.html"): those are never opened.
// Throws std::runtime_error when the text makes no address to load.
std::optional<QUrl> PageAddressToLoad(const QString& text);

}  // namespace tessaro
