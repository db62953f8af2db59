#!/bin/sh
# Runs a Windows program of the cross build under Wine, in a prefix of its own
# so that a developer's own Wine setup is not touched.
: "${WINEPREFIX:=$HOME/.wine-vernwick}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
# The program that starts a Wine session hands its standard error on to the
# session's own processes (services, the desktop), which live as long as the
# session does, and a program it started may outlive it too. Whoever reads
# our output would wait for all of them: the output goes through a file,
# shown as it grows, and ends when the program itself has ended. The programs
# read nothing from their input.
out=$(mktemp) || exit 1
trap 'rm -f "$out"' EXIT
/usr/lib/wine/wine64 "$@" </dev/null >"$out" 2>&1 &
program=$!
tail -n +1 -s 0.2 -f --pid="$program" "$out" &
wait "$program"
status=$?
wait # for the last of the output
exit "$status"
