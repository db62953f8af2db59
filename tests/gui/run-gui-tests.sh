#!/bin/sh
# Runs the window test program under Wine on a private Xvfb display: first
# everything at 96 dpi, then the layout test again with the prefix's LogPixels at
# 144. The prefix gets what windows need there: a virtual desktop (no 2-second
# stall per window without a window manager), no crash dialog (a crash would
# hang the run), Japanese font substitutes and the caption-button font.
#
#   run-gui-tests.sh PROGRAM ARTIFACT_DIR [--once]
#
# With --once the program runs once, at 96 dpi, with no test filter (for a
# program that is not a test, such as the window benchmark).
#
# Environment:
#   VERNWICK_GUI_DISPLAY  X display number to use (default: the first free one
#                         from 90 on)
#   VERNWICK_GUI_PREFIX   Wine prefix to use and keep (default: a new one in a
#                         temporary folder, removed afterwards)
set -eu
program=$1
artifacts=$2
once=${3:-}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
export WINEDEBUG=${WINEDEBUG:--all}
mkdir -p "$artifacts"

display=${VERNWICK_GUI_DISPLAY:-}
if [ -z "$display" ]; then
  display=90
  while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
  done
fi

temp_prefix=""
if [ -n "${VERNWICK_GUI_PREFIX:-}" ]; then
  export WINEPREFIX="$VERNWICK_GUI_PREFIX"
else
  temp_prefix=$(mktemp -d "${TMPDIR:-/tmp}/vernwick-gui-prefix.XXXXXX")
  export WINEPREFIX="$temp_prefix"
fi

xvfb_pid=""
cleanup() {
  # The prefix's helpers belong to this display: end them before it goes.
  timeout 30 "$wineserver" -k >/dev/null 2>&1 || true
  timeout 30 "$wineserver" -w >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ -n "$temp_prefix" ]; then
    rm -rf "$temp_prefix"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$artifacts/xvfb.log" 2>&1 &
xvfb_pid=$!
tries=0
until [ -e "/tmp/.X11-unix/X$display" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "Xvfb :$display did not start" >&2
    cat "$artifacts/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
done
export DISPLAY=":$display"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "preparing Wine prefix $WINEPREFIX"
  timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
  timeout 60 "$wineserver" -w >/dev/null 2>&1 || true
fi

# One registry file, UTF-16 as regedit wants it, for a given DPI.
configure_prefix() {
  dpi_hex=$(printf '%08x' "$1")
  reg="$WINEPREFIX/vernwick-gui.reg"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1024x768"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%s\r\n\r\n' "$dpi_hex"
    printf '[HKEY_CURRENT_CONFIG\\Software\\Fonts]\r\n"LogPixels"=dword:%s\r\n\r\n' "$dpi_hex"
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    printf '"MS UI Gothic"="IPAPGothic"\r\n"MS PGothic"="IPAPGothic"\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n'
    printf '"MS Gothic"="IPAGothic"\r\n"ＭＳ ゴシック"="IPAGothic"\r\n\r\n'
  } | iconv -f UTF-8 -t UTF-16 >"$reg"
  timeout 60 "$wine" regedit /S "$reg" >/dev/null 2>&1
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  [ -f "$fonts/marlett.ttf" ] || cp /usr/share/wine/fonts/marlett.ttf "$fonts/" 2>/dev/null || true
  # Every process of the prefix reads the DPI when it starts.
  timeout 30 "$wineserver" -k >/dev/null 2>&1 || true
  timeout 30 "$wineserver" -w >/dev/null 2>&1 || true
}

artifacts_win="Z:$(cd "$artifacts" && pwd)"
status=0
configure_prefix 96
VERNWICK_GUI_ARTIFACTS="$artifacts_win" VERNWICK_GUI_DPI=96 \
  timeout 300 "$wine" "$program" || status=$?
if [ $status -eq 0 ] && [ "$once" != --once ]; then
  configure_prefix 144
  VERNWICK_GUI_ARTIFACTS="$artifacts_win" VERNWICK_GUI_DPI=144 \
    timeout 120 "$wine" "$program" --gtest_filter='Layout.*' || status=$?
fi
exit $status
