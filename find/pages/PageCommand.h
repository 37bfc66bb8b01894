#pragma once

#include "find/FindOptions.h"

#include <cstdio>

namespace tessaro {

// `page URL...` in this process: the pages scanned in the web engine on Qt's
// offscreen platform (unless another is set), their rows written, then
// saved when asked. Returns the exit status.
int RunPageCommand(int& argc, char** argv, const TFindOptions& options, std::FILE* out, std::FILE* err);

}  // namespace tessaro
