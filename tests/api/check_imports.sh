#!/usr/bin/env bash
# Every given DLL or program imports only DLLs that Windows ships and the project's own DLLs.
# Usage: check_imports.sh <objdump> <file>...
set -euo pipefail
objdump=$1
shift

# Libraries of every Windows installation (the C run-time msvcrt.dll among them).
system='^(kernel32|msvcrt|user32|advapi32|ws2_32|shell32|ole32|bcrypt|ntdll)\.dll$'
own='^xavo[a-z]*\.dll$'

status=0
for file in "$@"; do
  while read -r dll; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    if ! grep -Eq "$system|$own" <<<"$lower"; then
      echo "$(basename "$file") imports $dll, which Windows does not ship"
      status=1
    fi
  done < <("$objdump" -p "$file" | tr -d '\r' | awk '/DLL Name:/ { print $3 }')
done
exit $status
