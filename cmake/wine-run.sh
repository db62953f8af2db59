#!/bin/sh
# Runs a Windows program of the cross build under Wine, in a prefix of its own
# so that a developer's own Wine setup is not touched.
: "${WINEPREFIX:=$HOME/.wine-vernwick}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
exec /usr/lib/wine/wine64 "$@"
