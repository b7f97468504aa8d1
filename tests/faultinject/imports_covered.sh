#!/bin/sh
# Fails when the tool imports a C library call that the fault interposer does not interpose and
# that the list below does not name as one that never touches a file: a new file-system call
# must come with its fault injection, or the sweep silently stops covering it.
#   imports_covered.sh <nm> <tool> <interposer library>
set -eu
nm=$1 tool=$2 interposer=$3

# Calls and symbols that never touch a file: memory, strings, formatting, the environment, the
# C++ runtime (whose own file calls reach libc through the interposer), and the sanitizers.
touches_no_file() {
    case $1 in
    _Z* | __cxa_* | __gxx_personality_v0 | _Unwind_* | _ITM_* | __gmon_start__) return 0 ;;
    __asan_* | __ubsan_* | __sanitizer_* | __lsan_*) return 0 ;;
    __libc_start_main | __errno_location | __stack_chk_fail | __assert_fail | abort) return 0 ;;
    malloc | calloc | realloc | free | memchr | memcmp | memcpy | memmove | memset) return 0 ;;
    strcmp | strcpy | strlen | strncpy | strnlen | strchr | strrchr | strstr | strtoul) return 0 ;;
    vsnprintf | snprintf | __vsnprintf_chk | __snprintf_chk | __memcpy_chk | __strcpy_chk) return 0 ;;
    getenv | secure_getenv | signal | raise | getpid | sysconf | clock_gettime) return 0 ;;
    getuid | geteuid | getegid) return 0 ;; # who runs the tool, asked of the kernel
    isalpha | toupper | dirfd) return 0 ;; # dirfd reads a DIR object, not the file system
    esac
    return 1
}

symbols() {
    "$nm" -D "$@" | awk '{ print $NF }' | sed 's/@.*//' | sort -u
}

interposed=$(symbols --defined-only "$interposer")
[ -n "$interposed" ] || { echo "no symbols read from $interposer" >&2; exit 2; }
imports=$(symbols --undefined-only "$tool")
[ -n "$imports" ] || { echo "no imports read from $tool" >&2; exit 2; }

uncovered=""
for name in $imports; do
    echo "$interposed" | grep -qx "$name" && continue
    touches_no_file "$name" && continue
    uncovered="$uncovered $name"
done
if [ -n "$uncovered" ]; then
    echo "the tool imports calls that the fault interposer does not cover:$uncovered" >&2
    echo "interpose them in tests/faultinject/interposer_calls.inc, or, if they never touch" >&2
    echo "a file, name them in $0" >&2
    exit 1
fi
echo "every import of $(basename "$tool") is interposed or touches no file"
