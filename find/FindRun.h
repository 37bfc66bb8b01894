#pragma once

#include <QStringList>

#include <cstdio>

namespace tessaro {

// The whole command line: reads the arguments (after the program's name),
// runs the command and returns the exit status: 0 when every input was
// read, 1 when one failed, 2 on a usage error. Makes the application object
// the command needs (the page scan's web engine needs a graphical one, on
// the offscreen platform unless another is set).
int RunFind(int& argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace tessaro
