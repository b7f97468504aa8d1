#!/usr/bin/env bash
# Runs clang-tidy, with the repository's .clang-tidy, on the tool's, the framework's and the
# POSIX layer's sources, and fails on any finding.
#   scripts/check-tidy.sh <build folder configured with CMAKE_EXPORT_COMPILE_COMMANDS=ON>
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?the build folder}
jobs=${JOBS:-2}
if [ ! -f "$build/compile_commands.json" ]; then
    echo "$build/compile_commands.json is missing: configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
    exit 1
fi
git ls-files -z --cached --others --exclude-standard -- app fs messages version res platform |
    grep -z '\.cpp$' |
    xargs -0 -n 4 -P "$jobs" clang-tidy -p "$build" --quiet --warnings-as-errors='*' 2>/dev/null
