#!/bin/sh
# Creates the suite's Wine prefix once and keeps one wineserver alive for it, so that each
# Wine run of the tests costs a tenth of a second instead of seconds.
#   prefix.sh start PREFIX   create the prefix if needed and start a persistent wineserver
#   prefix.sh stop PREFIX    stop that wineserver
# Right after creating the prefix it writes PREFIX/system32.baseline, the names Wine put into
# the system folder, one a line: tests remove every other name between their runs. It also
# builds PREFIX/locale/ka_GE.UTF-8, a locale whose Windows code page is UTF-8, so that Wine runs
# can have the Linux build's ANSI code page (LOCPATH=PREFIX/locale LC_ALL=ka_GE.UTF-8).
set -u
action=$1
export WINEPREFIX="$2"
export WINEDEBUG=-all
baseline=$WINEPREFIX/system32.baseline
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
    mv "$baseline.new" "$baseline"
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
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$baseline" ]; then
        create_prefix
    fi
    wineserver -p >/dev/null 2>&1
    wineboot >/dev/null 2>&1
    make_utf8_locale
    echo "Wine prefix ready at $WINEPREFIX"
    ;;
stop)
    wineserver -k >/dev/null 2>&1
    echo "wineserver stopped"
    ;;
esac
exit 0
