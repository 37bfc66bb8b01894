#pragma once

#include "find/FindOutput.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace tessaro {

// `cache`: every movie of the user's browser caches, as the cache page
// lists them (the added cache folders included).
void FindUserCaches(TFindOutput& output, int jobs);

// `cache PATH`: only the caches found in one folder, read as the cache page
// reads a folder added to it, or one web archive or projector file; its movies are checked out into a folder of
// the run's own, so the window's check-outs stay as they are.
// keepCheckouts, when given, takes the folder of the check-outs, which then
// outlives the call (a save reads them later).
void FindCacheFolder(const QString& input, TFindOutput& output, int jobs,
                     std::vector<std::unique_ptr<QTemporaryDir>>* keepCheckouts = nullptr);

}  // namespace tessaro
