#include "find/FindRun.h"

#include <cstdio>

int main(int argc, char** argv)
{
    return tessaro::RunFind(argc, argv, stdout, stderr, tessaro::HandPagesOver);
}
