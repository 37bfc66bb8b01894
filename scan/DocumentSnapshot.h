#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "scan/Document.h"

namespace tessaro {

// Bounds of a page's snapshot, kept by the collector script and again when
// the tree is built; what lies beyond is left out without a word.
// Script text of all documents together, in UTF-16 units.
constexpr qsizetype kMaxSnapshotScriptText = 16 * 1024 * 1024;
// Items per collection of one document: objects, PARAMs of one object,
// embeds, scripts, frames.
constexpr qsizetype kMaxSnapshotElements = 10000;
// How deep frames nest below the top document (depth 0); deeper ones are
// not read.
constexpr int kMaxSnapshotFrameDepth = 16;

// The raw attributes of an object element as the page holds them.
struct TObjectAttributes {
    QString classid;
    QString type;
    QString codebase;
    QString data;
    QStringList paramNames;  // its PARAM children, in order
    QStringList paramValues;
    QString flashvars{};  // the attribute; a PARAM of that name comes first
};

// Whether the element hosts the Flash player control, the movie that control
// would load (the PARAM named movie, else src, else data) and its flashvars.
THtmlObjectElement ObjectElementFromAttributes(const TObjectAttributes& attributes);

// Builds the document tree from the JSON snapshot the page's collector
// script assembled, within the bounds above. Throws std::runtime_error when
// it is not one.
THtmlDocument DocumentFromSnapshot(const QByteArray& json);

}  // namespace tessaro
