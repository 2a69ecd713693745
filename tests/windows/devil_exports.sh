#!/usr/bin/env bash
# DevIL.dll's export table against cmake/DevIL.def: the same names, undecorated, none missing, none
# more, so that DevIL's own DLL and ours stay interchangeable for the programs.
# Usage: devil_exports.sh OBJDUMP DevIL.dll DevIL.def
set -euo pipefail
objdump=$1 dll=$2 def=$3
expected=$(sed -n 's/^  \(il[A-Za-z]*\)\(@[0-9]*\)\{0,1\}$/\1/p' "$def" | sort)
# The export table's name lines: "[ordinal] name" after "[Ordinal/Name Pointer] Table".
actual=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^[[:space:]]*\[ *[0-9]*\] \([^[:space:]]*\)$/\1/p' | sort)
if [ "$expected" != "$actual" ]; then
  echo "DevIL.dll's exports differ from $def:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "DevIL.dll exports the $(echo "$expected" | wc -l) functions of DevIL.def"
