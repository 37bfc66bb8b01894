#pragma once

#include "platform/player/PlayerAddresses.h"

#include <QByteArray>

#include <atomic>
#include <cstddef>
#include <string>

namespace tessaro {

// The most the player is given of one file or answer.
inline constexpr std::size_t kMaxPlayerFetchBytes = 64u * 1024u * 1024u;
// The most redirects one fetch of a web movie follows, all within its origin.
inline constexpr int kMaxPlayerRedirects = 10;
// A preview that waits longer than these shows the player's failure instead.
inline constexpr long kPlayerConnectTimeoutSeconds = 15;
inline constexpr long kPlayerStallTimeoutSeconds = 30;

struct PlayerFetchResult {
    bool ok = false;
    bool missing = false;    // no such file, or the server answered 404 or 410
    QByteArray bytes;        // empty unless ok
    QByteArray contentType;  // the web server's Content-Type; empty for files
    std::string error;       // why not ok
};

// Reads what a request of the player names, on the calling thread: a regular
// file from disk (never a FIFO or a device: it would hold the worker), or a
// web address through the program's HTTP client, following redirects only
// while they stay on source.origin, and connecting only where source.page
// lets the program reach (a public address unless the page is on the user's
// network) and, after the first fetch of the movie, only to the address that
// one connected to. At most kMaxPlayerFetchBytes either way.
// Ends early, failed, once cancelled is set.
PlayerFetchResult FetchPlayerSource(const PlayerSource& source, const std::atomic<bool>& cancelled);

}  // namespace tessaro
