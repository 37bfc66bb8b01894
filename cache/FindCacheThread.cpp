#include "cache/FindCacheThread.h"
