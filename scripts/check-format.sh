#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what clang-format makes of it, with the
# repository's .clang-format; `clang-format -i <file>` fixes it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Tracked files and new ones not yet added, as they are in the working tree.
git ls-files -z --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h' '*.inc' |
    xargs -0 clang-format --dry-run --Werror
