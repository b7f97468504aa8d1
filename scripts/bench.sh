#!/usr/bin/env bash
# Builds the Linux build for release and runs the benchmarks: bench_install (the whole install
# against cp and rm -rf, RemoveFolderTree against rm -rf, peak memory) and bench_version_read.
# Writes BUILD/results.json with both; see bench/README.md.
#   scripts/bench.sh [BENCH_INSTALL_OPTION...]
#   BUILD=build/bench   the release build folder
#   WORK=/dev/shm       where the program folders and prefixes are made (about 4 GB at peak);
#                       a memory file system shows the tool's own cost, a disk folder the whole
#                       cost of a real install
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD:-build/bench}
work=${WORK:-}
if [ -z "$work" ]; then
    work=$(df --output=fstype /dev/shm 2>/dev/null | tail -1 | grep -q tmpfs && echo /dev/shm || echo "${TMPDIR:-/tmp}")
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDLLINSTALL_WINDOWS_BUILD=OFF >/dev/null
cmake --build "$build" --target bench_install bench_version_read -j "${JOBS:-2}" >/dev/null

echo "== bench_install (work folder: $work)"
"$build/bench/bench_install" --work "$work" --json "$build/install.json" "$@"
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
