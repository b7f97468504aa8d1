#!/usr/bin/env bash
# Builds the libFuzzer target of the version reader with clang, which the project's own build
# does not use, and optionally runs it.
#   fuzz/build.sh [BUILD_FOLDER]           build BUILD_FOLDER/version_fuzz (default build/fuzz)
#   fuzz/build.sh BUILD_FOLDER run SECONDS fuzz for that long from the checked-in corpus,
#                                          new inputs going to BUILD_FOLDER/corpus
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/fuzz}
cxx=${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
       -I "$root/platform/posix/include" -I "$root/platform/posix/src" -I "$out/generated")
mkdir -p "$out/objects" "$out/generated"
# The upper-case table names are compared by, generated as the project's build generates it.
table=$out/generated/upcase_table.inc
generator=$root/platform/posix/tools/make_upcase_table.cpp
if [ ! "$table" -nt "$generator" ]; then
    "$cxx" -std=c++20 -O1 "$generator" -o "$out/make_upcase_table"
    "$out/make_upcase_table" /usr/share/unicode/UnicodeData.txt \
        /usr/share/unicode/DerivedAge.txt 5.1 "$table"
fi
objects=()
# An object is made again when its source or any header of the layer is newer.
newest_header=$(ls -t "$root"/platform/posix/include/*.h "$root"/platform/posix/src/*/*.h | head -n 1)
for source in "$root"/platform/posix/src/*/*.cpp; do
    object=$out/objects/$(basename "$source" .cpp).o
    if [ ! "$object" -nt "$source" ] || [ ! "$object" -nt "$newest_header" ]; then
        "$cxx" "${flags[@]}" -c "$source" -o "$object"
    fi
    objects+=("$object")
done
rm -f "$out/libwin32_api_fuzz.a"
ar rcs "$out/libwin32_api_fuzz.a" "${objects[@]}"
"$cxx" "${flags[@]}" -fsanitize=fuzzer "$root/fuzz/version_fuzz.cpp" "$out/libwin32_api_fuzz.a" \
    -o "$out/version_fuzz"
echo "built $out/version_fuzz"

if [ "${2:-}" = run ]; then
    mkdir -p "$out/corpus"
    "$out/version_fuzz" -max_total_time="${3:-600}" -max_len=65536 -print_final_stats=1 \
        "$out/corpus" "$root/fuzz/corpus/version"
fi
