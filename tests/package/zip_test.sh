#!/usr/bin/env bash
# The Windows zip as a user gets it: built, unpacked into an empty folder, its
# files and their bytes checked, and its programs run under Wine: the command
# line for its version, the window with its shipped settings on a private Xvfb
# display.
# usage: zip_test.sh BUILD_DIR VERSION SOURCE_DIR
set -euo pipefail
build=$1
version=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"; }
# Every line ends in CR LF, and there is no other CR or LF.
crlf() { perl -0777 -ne 'exit(/(?<!\r)\n|\r(?!\n)/ || !/\r\n\z/)' "$1" || fail "$1: not CR LF throughout"; }

cmake --build "$build" --target package >/dev/null
zip=$build/packages/Vernwick-$version-win64.zip
[ -f "$zip" ] || fail "no $zip"
echo "$(basename "$zip"): $(stat -c %s "$zip") bytes"

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
cd "$work/unpacked"
expect_eq "$(find . | LC_ALL=C sort)" ".
./LICENSE.txt
./README-en.txt
./README-ja.txt
./Vernwick.exe
./Vernwick.ini
./vernwick-cli.exe" "files in the zip"

for f in LICENSE.txt README-en.txt README-ja.txt Vernwick.ini; do crlf "$f"; done
for f in LICENSE.txt README-en.txt; do iconv -f ASCII -t ASCII "$f" >/dev/null || fail "$f: not ASCII"; done
# Code page 932, and not UTF-8 by chance; decoding loses nothing.
for f in README-ja.txt Vernwick.ini; do
  iconv -f CP932 -t UTF-8 "$f" >"$work/$f.utf8" || fail "$f: not code page 932"
  iconv -f UTF-8 -t CP932 "$work/$f.utf8" | cmp -s - "$f" || fail "$f: code page 932 does not round-trip"
  ! iconv -f UTF-8 -t UTF-8 "$f" >/dev/null 2>&1 || fail "$f: UTF-8, not code page 932"
done
for text in 'Vernwick '"$version" 混在デジタル パッチサーバー開始 チャンネルファイルの作成 51334 /min /start \
            'Documents\EpgTimerBon' 'BonDriver_TVTest(TVTest).ChAlias.txt' LICENSE.txt; do
  grep -qF -- "$text" "$work/README-ja.txt.utf8" || fail "README-ja.txt lacks $text"
done
for text in 'Vernwick '"$version" 51334 /min /start 'Documents\EpgTimerBon' LICENSE.txt; do
  grep -qF -- "$text" README-en.txt || fail "README-en.txt lacks $text"
done
head -n 3 "$source/LICENSE" | cmp -s - <(head -n 3 LICENSE.txt | tr -d '\r') || fail "LICENSE.txt is not LICENSE"
# The settings file is the one built from the sources, which the settings
# test reads key by key.
cmp -s Vernwick.ini "$build/windows-texts/Vernwick.ini" || fail "Vernwick.ini is not the one built"

expect_eq "$("$source/cmake/wine-run.sh" ./vernwick-cli.exe --version | tr -d '\r')" "vernwick-cli $version" \
  "vernwick-cli.exe --version"

# The unpacked window program with its shipped settings.
VERNWICK_GUI_EXE="Z:$(pwd | tr / '\\')\\Vernwick.exe" GTEST_FILTER='UnpackedZip.*' \
  "$source/tests/gui/run-gui-tests.sh" "$build/bin/main_window_gui_test.exe" "$build/zip-gui-artifacts" --once \
  | tee "$work/gui.log"
grep -q '^\[  PASSED  \] 1 test' "$work/gui.log" || fail "the window test did not run and pass"
echo "zip test passed"
