#!/usr/bin/env bash
# Checks formatting and clang-tidy, builds both executables and runs every test: unit,
# end-to-end on Linux and under Wine, fault injection, the fuzz corpus, and the whole suite
# again under ASan and UBSan.
#   scripts/test.sh            everything, in build/linux and build/asan
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}

scripts/install-deps.sh

echo "== Formatting (at ${SECONDS} s)"
scripts/check-format.sh

echo "== Linux and Windows builds (at ${SECONDS} s)"
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    >/dev/null
cmake --build build/linux -j "$jobs"

echo "== clang-tidy (at ${SECONDS} s)"
scripts/check-tidy.sh build/linux

echo "== The tests (at ${SECONDS} s)"
ctest --test-dir build/linux --output-on-failure -j "$jobs"

echo "== One full sample run under Valgrind (at ${SECONDS} s)"
DLLINSTALL_RUNNER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite" \
    scripts/sample.sh build/linux >/dev/null

echo "== A short fuzzing run of the version reader (at ${SECONDS} s)"
# Half a minute: the corpus replays in the plain build too, and the whole command must stay
# within its fifteen minutes.
if ! fuzz/build.sh build/fuzz run 30 > build/fuzz.log 2>&1; then
    grep -A 40 -m 1 "ERROR" build/fuzz.log || tail -n 40 build/fuzz.log
    exit 1
fi
tail -n 3 build/fuzz.log

echo "== The same suite under AddressSanitizer and UndefinedBehaviorSanitizer (Linux build) (at ${SECONDS} s)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DDLLINSTALL_SANITIZE=ON \
    -DDLLINSTALL_WINDOWS_BUILD=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE "wine|slow"

echo "All tests passed in ${SECONDS} s."
