#pragma once

#include "find/FindOptions.h"
#include "find/FindOutput.h"

#include <cstdio>
#include <functional>

namespace tessaro {

// How the command `page` runs. The web engine is a large library that costs
// every start of the program tens of milliseconds, so the program that lists
// caches and reads movies does not link it: it hands a page command to the
// page program beside it, which links it and runs the command itself.
using TPageCommand = int (*)(int& argc, char** argv, const TFindOptions& options, std::FILE* out, std::FILE* err);

// The whole command line: reads the arguments (after the program's name),
// runs the command and returns the exit status: 0 when every input was
// read, 1 when one failed, 2 on a usage error.
int RunFind(int& argc, char** argv, std::FILE* out, std::FILE* err, TPageCommand pages);

// Sets up the output of a run, lets run write to it, finishes it and
// returns the exit status.
int RunWithOutput(const TFindOptions& options, std::FILE* out, std::FILE* err,
                  const std::function<void(TFindOutput&)>& run);

// The page program's name; it lies beside tessaro-find, built and installed.
constexpr const char* kPageProgramName = "tessaro-find-pages";

// The page command of tessaro-find: the same command line, run by the page
// program in this process's place. Only when that program cannot be started
// does it return: every input then gets an error line.
int HandPagesOver(int& argc, char** argv, const TFindOptions& options, std::FILE* out, std::FILE* err);

}  // namespace tessaro
