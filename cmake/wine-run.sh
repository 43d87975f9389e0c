#!/bin/sh
# wine-run.sh <wine> <program> [arguments...]
# Runs a Windows program under Wine: the emulator of the Windows build, through which the build
# runs its generators and the test runner runs (and lists) the tests.
#
# The program's output passes through files. Wine's server and background services, started by
# whichever program needs them first, keep that program's output open for as long as they run;
# the test runner, waiting for the end of a program's output, would otherwise wait for them.
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml,winemenubuilder.exe=}"
export WINEDEBUG WINEDLLOVERRIDES
wine=$1
shift

output=$(mktemp "${TMPDIR:-/tmp}/xavo-wine.XXXXXX") || exit 125
errors=$(mktemp "${TMPDIR:-/tmp}/xavo-wine.XXXXXX") || { rm -f "$output"; exit 125; }
trap 'rm -f "$output" "$errors"' EXIT
trap 'exit 130' INT TERM

"$wine" "$@" >"$output" 2>"$errors"
status=$?
cat "$output"
cat "$errors" >&2
exit $status
