#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
# Needs root only when something is missing.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev googletest  # the builds and their unit tests (googletest: sources)
    git binutils                          # the checks' file list, the release's time; as, ld, nm
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64  # dllinstall.exe, fixtures
    wine wine64                           # runs dllinstall.exe in the tests
    clang libclang-rt-14-dev              # the fuzzer
    clang-format clang-tidy               # the format and clang-tidy checks of the test command
    valgrind python3                      # memory checks, benchmark report
    locales                               # the UTF-8 locale of the Wine runs with non-ASCII names
    unicode-data                          # the case table that the Linux build compares names by
)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

export DEBIAN_FRONTEND=noninteractive
missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Run as root, or install them first: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit Wine, for the runs of the 32-bit dllinstall.exe: Debian's wine32 of the i386
# architecture. Without it those runs say why and are skipped; nothing else depends on it.
installed wine32:i386 && exit 0
if ! why=$("$(dirname "$0")/runs-32bit-programs.sh"); then
    echo "Not installing wine32: $why; the 32-bit Windows build's runs are skipped."
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "Not installing wine32 (needs root): the 32-bit Windows build's runs are skipped."
    exit 0
fi
echo "Installing wine32 from the i386 architecture"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 || {
        echo "The i386 architecture cannot be added: the 32-bit Windows build's runs are skipped."
        exit 0
    }
    apt-get update -qq
fi
apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
    echo "wine32 could not be installed: the 32-bit Windows build's runs are skipped."
