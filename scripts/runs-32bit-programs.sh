#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 programs, 1 when it does not, and says why not.
# Some virtual machines' kernels have no 32-bit mode: there Debian's wine32 cannot start, and
# since it takes over the `wine` command, installing it would stop 64-bit programs as well.
set -u
folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
if ! command -v as >/dev/null 2>&1 || ! command -v ld >/dev/null 2>&1; then
    echo "no assembler to build the 32-bit probe with (package binutils)"
    exit 1
fi
# The smallest 32-bit program: it exits with status 42 through the 32-bit system call gate.
printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' |
    as --32 -o "$folder/probe.o" - && ld -m elf_i386 -o "$folder/probe" "$folder/probe.o" || {
    echo "the 32-bit probe could not be built"
    exit 1
}
said=$("$folder/probe" 2>&1)
status=$?
[ "$status" -eq 42 ] && exit 0
reason=${said##*: }
echo "this machine's kernel cannot run 32-bit programs (a 32-bit probe program: ${reason:-exit status $status})"
exit 1
