#pragma once

class QWebEngineProfile;

namespace tessaro {

// The program's one web profile: named, so it keeps a disk cache (Qt's default
// profile keeps its cache in memory only) under EmbeddedBrowserCacheFolder().
// Shared by the page view and the preview so each file is fetched and
// compiled once.
QWebEngineProfile* BrowserProfile();

// A profile of its own for one run that keeps nothing on disk, with the same
// rules for local pages: runs side by side share no files.
QWebEngineProfile* PassingBrowserProfile();

}  // namespace tessaro
