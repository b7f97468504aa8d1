#!/usr/bin/env bash
# Builds the Linux build for release and runs the benchmarks: bench_install (the whole install
# against cp and rm -rf, with and without sync, and against the Windows build under Wine;
# RemoveFolderTree against rm -rf; peak memory) and bench_version_read.
# Writes BUILD/results.json with both; see bench/README.md.
#   scripts/bench.sh [BENCH_INSTALL_OPTION...]
#   BUILD=build/bench   the release build folder
#   WORK=/dev/shm       where the program folders and prefixes are made (about 4 GB at peak);
#                       a memory file system shows the tool's own cost, a disk folder the whole
#                       cost of a real install
#   NO_WINE=1           leave the Windows build under Wine out
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD:-build/bench}
work=${WORK:-}
if [ -z "$work" ]; then
    work=$(df --output=fstype /dev/shm 2>/dev/null | tail -1 | grep -q tmpfs && echo /dev/shm || echo "${TMPDIR:-/tmp}")
fi

wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true)
[ -n "${NO_WINE:-}" ] && wine=
windows=OFF
[ -n "$wine" ] && windows=ON
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDLLINSTALL_WINDOWS_BUILD=$windows >/dev/null
cmake --build "$build" --target bench_install bench_version_read -j "${JOBS:-2}" >/dev/null

wine_options=()
if [ -n "$wine" ]; then
    cmake --build "$build" --target dllinstall_windows -j "${JOBS:-2}" >/dev/null
    # A prefix of the benchmark's own beside its folders (about 1 GB, removed at the end), with
    # one wineserver kept alive for it, as a user who runs Wine has.
    wine_prefix=$(mktemp -d "$work/dllinstall-bench-wineprefix-XXXXXX")
    export WINEDEBUG=-all
    trap 'WINEPREFIX=$wine_prefix wineserver -k >/dev/null 2>&1; rm -rf "$wine_prefix"' EXIT
    WINEPREFIX=$wine_prefix "$wine" wineboot --init >/dev/null 2>&1 || true
    WINEPREFIX=$wine_prefix wineserver -w || true
    WINEPREFIX=$wine_prefix wineserver -p >/dev/null 2>&1 || true
    wine_options=(--wine "$wine" --windows-tool "$build/windows/dllinstall.exe" --wine-prefix "$wine_prefix")
fi

echo "== bench_install (work folder: $work)"
"$build/bench/bench_install" --work "$work" --json "$build/install.json" "${wine_options[@]}" "$@"
echo
echo "== bench_version_read"
"$build/bench/bench_version_read" "$build/version_read.json"

python3 - "$build/install.json" "$build/version_read.json" "$build/results.json" <<'EOF'
import json, sys
install, version_read, out = sys.argv[1:4]
with open(install) as f:
    results = {"bench_install": json.load(f)}
with open(version_read) as f:
    results["bench_version_read"] = json.load(f)
with open(out, "w") as f:
    json.dump(results, f, indent=2)
    f.write("\n")
EOF
echo
echo "Results: $build/results.json"
