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
    QString Movie;            // what that control (or, untyped, the browser) would load; empty when none
    QString flashVars{};      // the flashvars PARAM, else attribute
    // Neither a class id nor a type: a browser picks the player by the
    // address's name.
    bool untyped{};
    // Where the player resolves the movie's own loads: the base PARAM, else
    // attribute, as written; empty: the document's base.
    QString playerBase{};
};

struct THtmlEmbedElement {
    QString src;     // as written in the page
    QString type{};  // the type attribute
    QString flashVars{};
    QString playerBase{};  // the base attribute, as for objects
};

struct THtmlScriptElement {
    QString text;  // empty for an external script, as its element holds no text
    // The text of the external file the document loaded, as the browser
    // keeps it; empty when it is inline or could not be read.
    QString loadedText{};
};

struct THtmlDocument {
    QString URL;
    // What relative references resolve against: the <base href> when the
    // document has one, else its URL. Empty: the URL.
    QString baseURL;
    std::vector<THtmlObjectElement> applets;  // the object elements
    std::vector<THtmlEmbedElement> embeds;
    std::vector<THtmlScriptElement> scripts;
    // Object and embed markup inside <noscript>, which a browser running
    // scripts never turns into elements.
    std::vector<THtmlObjectElement> noscriptObjects;
    std::vector<THtmlEmbedElement> noscriptEmbeds;
    // The src of each frame and iframe element, as written: a frame may show
    // a movie in place of a page.
    std::vector<QString> frameSources{};
    // The href of each link and image-map area, as written.
    std::vector<QString> links{};
    // Frame documents that could be read; a frame whose document could not
    // be read is left out, as the scan passes it over.
    std::vector<THtmlDocument> frames;

    const QString& BaseAddress() const { return baseURL.isEmpty() ? URL : baseURL; }
};

}  // namespace tessaro
