#pragma once

#include "platform/http/NetworkReach.h"

#include <QStringView>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// What one exchange may take and where it may go.
struct HttpLimits {
    // Give up on a connection that does not open within this time.
    long connectTimeoutSeconds = 30;
    // Give up on a transfer slower than lowSpeedBytesPerSecond for this long:
    // a server that drips must not hold a download nobody stops, nor a fetch
    // the program makes by itself, for ever.
    long stallTimeoutSeconds = 60;
    long lowSpeedBytesPerSecond = 1024;
    // Redirects followed before the exchange fails.
    long maxRedirects = 10;
    // A body longer than this fails the exchange (refused at once when the
    // answer's Content-Length says so); 0: no bound here.
    std::uint64_t maxBodyBytes = 0;
    // Follow redirects inside libcurl. Off, a redirect is the final answer and
    // the caller reads its Location header and decides on the next hop itself.
    bool followRedirects = true;
    // Every address the exchange connects to is checked against this (the
    // address itself, not the name): one it does not reach fails the
    // exchange before anything is sent.
    HttpReach reach = HttpReach::Anywhere;
    // While set, the exchange connects where the pin says for its host and
    // port, and pins the address it connected to when none was.
    HttpAddressPin* pin = nullptr;
};

// One GET as the program asks for it.
struct HttpRequest {
    // An "http" or "https" address; its fragment is not sent.
    QUrl address;
    std::string userAgent = "HTTPGET";
    // The Accept header, joined by ", ".
    std::vector<std::string> acceptTypes{"*/*"};
    HttpLimits limits;
    // While it points at a flag that is set, the exchange ends at once as
    // failed (checked at least every 100 ms, inside libcurl too).
    const std::atomic<bool>* cancel = nullptr;
};

// An address as a page or the user wrote it, as the program keeps it from
// then on: parsed as a browser's address bar would. What is escaped stays
// escaped as written ("%2F" is not a "/"), a character an address may not
// hold raw (a space, a stray "%", a non-ASCII letter) is escaped, an escaped
// letter, digit or "-._~" is decoded, and the host is lower-cased. Text
// holding a control character gives an invalid address: no page means one,
// and its escaped form would be sent in its place.
QUrl HttpAddress(QStringView text);

// The text libcurl is handed for an address: fully encoded, without its
// fragment; empty when the address is no valid "http" or "https" address
// with a host.
std::string WireAddress(const QUrl& address);

}  // namespace tessaro
