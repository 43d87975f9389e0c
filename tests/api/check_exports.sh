#!/usr/bin/env bash
# The card library's exported symbols are only the published function names and pBoardStates,
# and every function the header declares is exported. A shared object is read through its
# dynamic symbol table, a DLL through its export table (with the objdump given as the fourth
# argument).
set -euo pipefail
library=$1
names=$2
header=$3
objdump=${4:-objdump}

allowed=$( (cat "$names"; echo pBoardStates) | tr -d '\r' | sort -u)
case "$library" in
  *.dll)
    # The names of the export table's "[Ordinal/Name Pointer] Table", one "[ n] name" a line.
    exported=$("$objdump" -p "$library" | tr -d '\r' |
               awk '/^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
                    table && /^[ \t]*\[ *[0-9]+\]/ { print $NF; next }
                    table { table = 0 }' | sort -u) ;;
  *)
    exported=$(nm -D --defined-only "$library" | awk 'NF >= 3 { print $3 }' | sed 's/@.*//' | sort -u) ;;
esac
declared=$(grep -oE '\bKZ_[A-Za-z0-9_]+\(' "$header" | tr -d '(' | sort -u)

status=0
extra=$(comm -13 <(echo "$allowed") <(echo "$exported"))
if [ -n "$extra" ]; then
  echo "exported but not a published name:"; echo "$extra"; status=1
fi
missing=$(comm -23 <(echo "$declared") <(echo "$exported"))
if [ -n "$missing" ]; then
  echo "declared in the header but not exported:"; echo "$missing"; status=1
fi
if ! grep -qx pBoardStates <<<"$exported"; then
  echo "pBoardStates is not exported"; status=1
fi
echo "$(wc -l <<<"$exported") symbols exported, $(wc -l <<<"$declared") functions declared"
exit $status
