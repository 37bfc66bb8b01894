#include "find/FindRun.h"
#include "find/pages/PageCommand.h"

#include <cstdio>

// The page program: tessaro-find's whole command line, with `page` run here.
int main(int argc, char** argv)
{
    return tessaro::RunFind(argc, argv, stdout, stderr, tessaro::RunPageCommand);
}
