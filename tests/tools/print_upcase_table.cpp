// Prints every UTF-16 unit that the system's upper-case table changes, "<unit> <upper>" in hex
// a line, so that the Linux build's table can be held against Wine's in one run.
#include <windows.h>

#include <cstdio>

int main() {
    using Upcase = WCHAR(WINAPI*)(WCHAR);
    // The table names are compared by: what RtlUpcaseUnicodeChar and NTFS's $UpCase hold.
    const FARPROC entry = GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlUpcaseUnicodeChar");
    if (!entry)
        return 1;
    const auto upcase = reinterpret_cast<Upcase>(reinterpret_cast<void (*)()>(entry));
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        const WCHAR upper = upcase(static_cast<WCHAR>(unit));
        if (upper != unit)
            printf("%04X %04X\n", unit, static_cast<unsigned>(upper));
    }
    return 0;
}
