#!/usr/bin/env bash
# Runs the Linux build on a sample product: a program folder with Tarvik.dll and a dozen DLLs in
# LIB, and a fresh prefix whose system folder already holds older and newer copies of some.
# Prints the console, the log file and the system folder with each DLL's product version.
#   scripts/sample.sh [BUILD]   BUILD: the build folder to build or take (default build/linux)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/linux}
sample=$build/sample
product=$sample/product
prefix=$sample/prefix
system=$prefix/drive_c/windows/system32
fixtures=$build/fixtures

if [ ! -f "$build/CMakeCache.txt" ]; then
    scripts/install-deps.sh
    cmake -S . -B "$build" >/dev/null
fi
cmake --build "$build" --target dllinstall fixtures -j "${JOBS:-2}" >/dev/null
if [ ! -f "$fixtures/v1.0.0.0.dll" ]; then
    echo "The sample DLLs are built by mingw-w64, which is missing: run scripts/install-deps.sh" >&2
    exit 1
fi

# put FIXTURE-VERSION DESTINATION: a copy of the fixture DLL with that ProductVersion.
put() {
    mkdir -p "$(dirname "$2")"
    cp "$fixtures/$1.dll" "$2"
}

rm -rf "$sample"
mkdir -p "$product/LIB" "$system"
cp "$build/dllinstall" "$product/"
put v2.0.0.0 "$product/Tarvik.dll"
# Offered in LIB           installed before the run
put v2.0.0.0 "$product/LIB/Audio.dll";   put v1.0.0.0 "$system/Audio.dll"     # older: replaced
put v1.2.3.5 "$product/LIB/Codec.dll";   put v1.2.3.4 "$system/codec.dll"     # older, other case
put v1.0.0.0 "$product/LIB/Crypto.dll";  put v3.0.0.0 "$system/Crypto.dll"    # newer: kept
put v2.5.0.0 "$product/LIB/Database.dll"; put v10.0.0.0 "$system/Database.dll" # newer: kept
put v2.0.0.0 "$product/LIB/Fonts.dll";   put v2.0.0.0 "$system/Fonts.dll"     # equal: copied
put v1.2.3.4 "$product/LIB/Network.dll"; put v1.2.3.5 "$system/Network.dll"   # newer: kept
put v3.0.0.0 "$product/LIB/Render.dll";  put unversioned "$system/Render.dll" # unknown: copied
put unversioned "$product/LIB/Script.dll"
put v10.0.0.0 "$product/LIB/Storage.dll"; put v2.5.0.0 "$system/Storage.dll"  # older: replaced
put v1.0.0.0 "$product/LIB/Text.dll"
put v2.5.0.0 "$product/LIB/UI.dll"
put v1.2.3.4 "$product/LIB/Zip.dll"
echo "Sample DLLs, readme included, are only copied if they end in .dll" >"$product/LIB/readme.txt"

# DLLINSTALL_RUNNER runs the tool under another program, such as valgrind.
runner=(${DLLINSTALL_RUNNER:-})
echo "== Running WINEPREFIX=$prefix ${runner[*]} $product/dllinstall"
status=0
WINEPREFIX=$prefix "${runner[@]}" "$product/dllinstall" || status=$?
echo "== Exit status: $status"
echo "== $product/InstallLog_DLL.txt (^M is the CR of each CR LF)"
if [ -f "$product/InstallLog_DLL.txt" ]; then cat -A "$product/InstallLog_DLL.txt"; else echo "(none)"; fi
echo "== Program folder"
ls -A "$product"
echo "== System folder $system"
for dll in "$system"/*; do
    version=$(strings -el "$dll" | awk 'found { print; exit } /^ProductVersion$/ { found = 1 }')
    printf '%-14s %s\n' "$(basename "$dll")" "${version:-(no version)}"
done
# The exit status is the tool's own, so that a run under a checker can fail the caller.
exit "$status"
