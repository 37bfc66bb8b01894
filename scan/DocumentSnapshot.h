#pragma once

#include "platform/core/SnapshotBounds.h"
#include "scan/Document.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessaro {

// The raw attributes of an object element as the page holds them.
struct TObjectAttributes {
    QString classid;
    QString type;
    QString codebase;
    QString data;
    QStringList paramNames;  // its PARAM children, in order
    QStringList paramValues;
    QString flashvars{};  // the attribute; a PARAM of that name comes first
    QString base{};       // the attribute; a PARAM of that name comes first
};

// Whether the element hosts the Flash player control, the movie that control
// would load (the PARAM named movie, else src, else data) and its flashvars.
THtmlObjectElement ObjectElementFromAttributes(const TObjectAttributes& attributes);

// Builds the document tree from the JSON snapshot the page's collector
// script assembled, within the bounds above. Throws std::runtime_error when
// it is not one.
THtmlDocument DocumentFromSnapshot(const QByteArray& json);

}  // namespace tessaro
