// Prints the product version of each file named on the command line, one line each, so that
// the Windows build (under Wine's version.dll) and the Linux build can be compared line by line.
// An argument "@list" names a file of paths, one a line: for each, one line "= " and the version
// with any byte outside printable ASCII as \xNN, "no version", or "unreadable", flushed at once
// so that the lines before a fault are not lost, and told apart from what a fault prints; a
// reading that faults prints "fault" and the next file is read in the same process.
#include "guarded_read.h"
#include "version/version.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintEscaped(const CString& version) {
    printf("= ");
    if (version.IsEmpty()) {
        printf("no version\n");
        return;
    }
    for (const char* p = version; *p; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte >= 0x7F || byte == '\\')
            printf("\\x%02X", byte);
        else
            putchar(byte);
    }
    putchar('\n');
}

void PrintList(const char* listFile) {
    FILE* list = fopen(listFile, "r");
    if (!list) {
        printf("cannot open %s\n", listFile);
        return;
    }
    char line[1024];
    while (fgets(line, sizeof line, list)) {
        line[strcspn(line, "\r\n")] = '\0';
        CString version;
        switch (ReadProductVersionGuarded(line, version)) {
        case GuardedRead::kRead:
            PrintEscaped(version);
            break;
        case GuardedRead::kUnreadable:
            printf("= unreadable\n");
            break;
        case GuardedRead::kFault:
            printf("= fault\n");
            break;
        }
        fflush(stdout);
    }
    fclose(list);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '@')
            PrintList(argv[i] + 1);
        else
            printf("%s\n", static_cast<LPCSTR>(GetProductVersion(argv[i])));
    }
    return 0;
}
