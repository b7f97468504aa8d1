#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
# Needs root only when something is missing.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev           # the Linux build and its unit tests
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64  # dllinstall.exe, fixtures
    wine wine64                           # runs dllinstall.exe in the tests
    clang libclang-rt-14-dev              # the fuzzer
    clang-format clang-tidy               # the format and clang-tidy checks of the test command
    valgrind python3                      # memory checks, benchmark report
    locales                               # the UTF-8 locale of the Wine runs with non-ASCII names
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root, or install them first: apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
