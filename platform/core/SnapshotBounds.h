#pragma once

#include <QtGlobal>

namespace tessaro {

// Bounds of a page's snapshot, kept by the collector script that takes it
// and again by the scan that builds the document tree from it; what lies
// beyond is left out, and the snapshot says that it was cut.
// Script text of all documents together, in UTF-16 units.
constexpr qsizetype kMaxSnapshotScriptText = 16 * 1024 * 1024;
// Items per collection of one document: objects, PARAMs of one object,
// embeds, scripts, frames.
constexpr qsizetype kMaxSnapshotElements = 10000;
// How deep frames nest below the top document (depth 0); deeper ones are
// not read.
constexpr int kMaxSnapshotFrameDepth = 16;
// One attribute value, in UTF-16 units; a longer one is left out whole, so
// one huge attribute cannot make the snapshot pass the report's bound.
constexpr qsizetype kMaxSnapshotAttributeText = 64 * 1024;

}  // namespace tessaro
