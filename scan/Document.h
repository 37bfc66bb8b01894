#pragma once

#include <QString>

#include <vector>

namespace tessaro {

// A read-only picture of a loaded page, taken once per scan: each document
// with what the scanners read of it, and its frames in document order.
// Texts are as the page gives them (UTF-16).

struct THtmlObjectElement {
    QString codeBase;         // the codebase attribute as written, not resolved
    bool hostsFlash = false;  // the element hosts the Flash player control
    QString Movie;            // what that control would load; empty when none
};

struct THtmlEmbedElement {
    QString src;  // as written in the page
};

struct THtmlScriptElement {
    QString text;
};

struct THtmlDocument {
    QString URL;
    std::vector<THtmlObjectElement> applets;  // the object elements
    std::vector<THtmlEmbedElement> embeds;
    std::vector<THtmlScriptElement> scripts;
    // Frame documents that could be read; a frame whose document could not
    // be read is left out, as the scan passes it over.
    std::vector<THtmlDocument> frames;
};

}  // namespace tessaro
