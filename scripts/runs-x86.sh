#!/usr/bin/env bash
# Tells whether this machine runs x86 programs of a width, by running one: a hand-made static ELF
# program that only exits with status 42 (no library, no loader, no i386 package needed). A kernel
# without 32-bit support refuses the 32-bit one with "Exec format error".
# Usage: scripts/runs-x86.sh 32|64. Prints "runs 32-bit" and exits 0, or prints why not and exits 1
# (2 when it could not even try).
set -uo pipefail
bits=${1:-32}
case "$bits" in
  32)
    # ELF32 header (i386, entry 0x08048054), one PT_LOAD of the whole file at 0x08048000, then
    # mov eax, 1; mov ebx, 42; int 0x80 (exit(42)).
    image='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    image+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'
    image+='\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
    image+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
    image+='\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    image+='\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' ;;
  64)
    # ELF64 header (x86-64, entry 0x400078), one PT_LOAD of the whole file at 0x400000, then
    # mov eax, 60; mov edi, 42; syscall (exit(42)).
    image='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    image+='\x02\x00\x3e\x00\x01\x00\x00\x00\x78\x00\x40\x00\x00\x00\x00\x00'
    image+='\x40\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    image+='\x00\x00\x00\x00\x40\x00\x38\x00\x01\x00\x00\x00\x00\x00\x00\x00'
    image+='\x01\x00\x00\x00\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    image+='\x00\x00\x40\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x00\x00\x00'
    image+='\x84\x00\x00\x00\x00\x00\x00\x00\x84\x00\x00\x00\x00\x00\x00\x00'
    image+='\x00\x10\x00\x00\x00\x00\x00\x00'
    image+='\xb8\x3c\x00\x00\x00\xbf\x2a\x00\x00\x00\x0f\x05' ;;
  *) echo "runs-x86.sh: the width is 32 or 64, not '$bits'" >&2; exit 2 ;;
esac

# Beside this script rather than in /tmp, which may be mounted noexec and would refuse any program.
cannot() {
  echo "cannot be probed for $bits-bit programs ($1)"
  exit 2
}
work=$(mktemp -d "$(dirname "$0")/.runs-x86.XXXXXX" 2>/dev/null) || cannot "no folder for the probe beside $0"
trap 'rm -rf "$work"' EXIT
{ printf "$image" > "$work/probe" && chmod +x "$work/probe"; } 2>/dev/null || cannot "the probe cannot be written"
answer=$("$work/probe" 2>&1)
status=$?
if [ "$status" -eq 42 ]; then
  echo "runs $bits-bit"
  exit 0
fi
answer=${answer##*: }
echo "does not run $bits-bit programs (exit status $status${answer:+: $answer})"
exit 1
