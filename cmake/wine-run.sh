#!/bin/sh
# wine-run.sh <wine> <program> [arguments...]
# Runs a Windows program under Wine: the emulator of the Windows build, through which the build
# runs its generators and the test runner runs (and lists) the tests.
#
# The program's output passes through files. Wine's server and background services, started by
# whichever program needs them first, keep that program's output open for as long as they run;
# the test runner, waiting for the end of a program's output, would otherwise wait for them.
#
# Now and then (about once in some thousand starts on a busy machine) Wine ends a program with
# status 1 before the program has run: no output at all. The project's programs always write
# something, and a program that crashes ends with the exception's status and Wine's report, so
# that case alone is run once more, and said so.
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml,winemenubuilder.exe=}"
export WINEDEBUG WINEDLLOVERRIDES
wine=$1
shift

output=$(mktemp "${TMPDIR:-/tmp}/xavo-wine.XXXXXX") || exit 125
errors=$(mktemp "${TMPDIR:-/tmp}/xavo-wine.XXXXXX") || { rm -f "$output"; exit 125; }
trap 'rm -f "$output" "$errors"' EXIT
trap 'exit 130' INT TERM

for attempt in 1 2; do
  "$wine" "$@" >"$output" 2>"$errors"
  status=$?
  if [ "$status" -ne 1 ] || [ -s "$output" ] || [ -s "$errors" ]; then
    break
  fi
  echo "wine-run.sh: $1 ended with status 1 before it ran (attempt $attempt)" >&2
done
cat "$output"
cat "$errors" >&2
exit $status
