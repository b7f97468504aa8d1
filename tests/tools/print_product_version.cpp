// Prints the product version of each file named on the command line, one line each, so that
// the Windows build (under Wine's version.dll) and the Linux build can be compared line by line.
#include "version/version.h"

#include <cstdio>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        printf("%s\n", static_cast<LPCSTR>(GetProductVersion(argv[i])));
    return 0;
}
