#!/bin/sh
# Creates the suite's Wine prefix once and keeps one wineserver alive for it, so that each
# Wine run of the tests costs a tenth of a second instead of seconds.
#   prefix.sh start PREFIX   create the prefix if needed and start a persistent wineserver
#   prefix.sh stop PREFIX    stop that wineserver
# Right after creating the prefix it writes PREFIX/system32.baseline and syswow64.baseline, the
# names Wine put into the system folders, one a line: tests remove every other name between
# their runs. Where Wine cannot run 32-bit programs, PREFIX/x86.unavailable says why. It also
# builds PREFIX/locale/ka_GE.UTF-8, a locale whose Windows code page is UTF-8, so that Wine runs
# can have the Linux build's ANSI code page (LOCPATH=PREFIX/locale LC_ALL=ka_GE.UTF-8).
set -u
action=$1
export WINEPREFIX="$2"
export WINEDEBUG=-all
baseline=$WINEPREFIX/system32.baseline
wow64_baseline=$WINEPREFIX/syswow64.baseline
x86_unavailable=$WINEPREFIX/x86.unavailable
# Debian's wine32 puts the 32-bit loader here; the 64-bit one is wine64 beside it.
wine32_loader=/usr/lib/wine/wine
if ! command -v wine64 >/dev/null 2>&1 && ! command -v wine >/dev/null 2>&1; then
    echo "Wine is not installed: the Windows build's runs will be skipped."
    exit 0
fi

create_prefix() {
    # A prefix without its baseline was made half-way, or before baselines: it is made again,
    # and a server still serving the old one must not live on.
    wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 || { echo "wineboot failed"; exit 1; }
    # The server wineboot started must be gone before a persistent one can take its place.
    wineserver -w
    ls -A1 "$WINEPREFIX/drive_c/windows/system32" >"$baseline.new" || exit 1
    # Without 32-bit Wine the folder is there but empty.
    ls -A1 "$WINEPREFIX/drive_c/windows/syswow64" >"$wow64_baseline" 2>/dev/null
    mv "$baseline.new" "$baseline"
}

# A prefix made before wine32 was installed has no 32-bit system files: it is made again.
lacks_32bit_files() {
    [ -x "$wine32_loader" ] && [ ! -s "$wow64_baseline" ]
}

# Why the prefix's 32-bit programs cannot run, in PREFIX/x86.unavailable; no file when they can.
probe_32bit_programs() {
    rm -f "$x86_unavailable"
    if [ ! -x "$wine32_loader" ]; then
        why=$("$(dirname "$0")/../../scripts/runs-32bit-programs.sh") &&
            why="Debian's wine32 is not installed (scripts/install-deps.sh installs it)"
        echo "$why" >"$x86_unavailable"
    elif ! wine 'C:\windows\syswow64\hostname.exe' >/dev/null 2>&1; then
        echo "Wine cannot run 32-bit programs here: its own 32-bit hostname.exe did not start" \
            >"$x86_unavailable"
    fi
    [ -f "$x86_unavailable" ] && cat "$x86_unavailable"
}

make_utf8_locale() {
    locale=$WINEPREFIX/locale/ka_GE.UTF-8
    [ -d "$locale" ] && return
    mkdir -p "$WINEPREFIX/locale"
    # localedef exits non-zero for mere warnings: the locale folder tells whether it worked.
    localedef -i ka_GE -f UTF-8 "$locale" >/dev/null 2>&1
    [ -d "$locale" ] || echo "No UTF-8 locale (package locales): non-ASCII Wine runs are skipped."
}

case "$action" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$baseline" ] || lacks_32bit_files; then
        create_prefix
    fi
    wineserver -p >/dev/null 2>&1
    wineboot >/dev/null 2>&1
    make_utf8_locale
    probe_32bit_programs
    echo "Wine prefix ready at $WINEPREFIX"
    ;;
stop)
    wineserver -k >/dev/null 2>&1
    echo "wineserver stopped"
    ;;
esac
exit 0
