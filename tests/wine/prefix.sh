#!/bin/sh
# Creates the suite's Wine prefix once and keeps one wineserver alive for it, so that each
# Wine run of the tests costs a tenth of a second instead of seconds.
#   prefix.sh start PREFIX   create the prefix if needed and start a persistent wineserver
#   prefix.sh stop PREFIX    stop that wineserver
set -u
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
if ! command -v wine64 >/dev/null 2>&1 && ! command -v wine >/dev/null 2>&1; then
    echo "Wine is not installed: the Windows build's runs will be skipped."
    exit 0
fi
case "$action" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # wineboot writes the registry and system32; a prefix made half-way is made again.
        rm -rf "$WINEPREFIX"
        wineboot --init >/dev/null 2>&1 || { echo "wineboot failed"; exit 1; }
    fi
    wineserver -p >/dev/null 2>&1
    wineboot >/dev/null 2>&1
    echo "Wine prefix ready at $WINEPREFIX"
    ;;
stop)
    wineserver -k >/dev/null 2>&1
    echo "wineserver stopped"
    ;;
esac
exit 0
