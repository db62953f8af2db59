#!/usr/bin/env bash
# The Debian package: its metadata and contents, its service unit, and an
# install into a throw-away root whose program then serves the stand-in as the
# service's own user. Nothing outside a temporary folder is touched: dpkg runs
# the maintainer scripts outside the root with DPKG_ROOT set (chrootless), and
# they edit only that root's user files.
# usage: deb_test.sh BUILD_DIR VERSION
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "needs root (dpkg --root, useradd --prefix, setpriv); skipped"
  exit 77
fi
build=$1
version=$2
bin=$build/bin
work=$(mktemp -d)
chmod 755 "$work" # the service's user must reach the root inside
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"; }
wait_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  fail "nothing in $1"
}

cmake --build "$build" --target package >/dev/null
arch=$(dpkg --print-architecture)
deb=$build/packages/vernwick_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $deb"

echo "--- metadata and contents"
expect_eq "$(dpkg-deb -f "$deb" Package Version Architecture)" \
  "$(printf 'Package: vernwick\nVersion: %s\nArchitecture: %s' "$version" "$arch")" "control fields"
depends=$(dpkg-deb -f "$deb" Depends)
for p in passwd libc6 libstdc++6; do [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"; done
# Every folder is root's and open to all; every file, and the one folder that
# ships empty (the channel files' home).
expect_eq "$(dpkg-deb -c "$deb" | awk '$6 ~ /\/$/ && $1 " " $2 != "drwxr-xr-x root/root"')" "" "folders"
expect_eq "$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ || $6 == "./var/lib/vernwick/" { print $1, $2, $6 }')" "\
-rw-r--r-- root/root ./etc/vernwick/Vernwick.ini
-rwxr-xr-x root/root ./usr/bin/vernwick-cli
-rw-r--r-- root/root ./usr/lib/systemd/system/vernwick.service
-rw-r--r-- root/root ./usr/share/doc/vernwick/copyright
-rw-r--r-- root/root ./usr/share/man/man1/vernwick-cli.1.gz
drwxr-xr-x root/root ./var/lib/vernwick/" "files"
expect_eq "$(dpkg-deb -I "$deb" conffiles)" /etc/vernwick/Vernwick.ini "conffiles"
dpkg-deb -x "$deb" "$work/x"
unit=$work/x/usr/lib/systemd/system/vernwick.service
expect_eq "$(grep -E '^(User|ExecStart|KillSignal)=' "$unit")" "\
User=vernwick
ExecStart=/usr/bin/vernwick-cli serve --ini /etc/vernwick/Vernwick.ini --channels /var/lib/vernwick
KillSignal=SIGTERM" "unit"
if command -v systemd-analyze >/dev/null; then
  # Against the unpacked tree, which holds the program the unit runs.
  systemd-analyze verify --root="$work/x" --man=no --recursive-errors=no "$unit" || fail "systemd-analyze verify"
  echo "systemd-analyze verify: ok"
else
  echo "systemd-analyze not present; unit not verified"
fi
# The licence, in Debian's form, with the whole of LICENSE's terms.
copyright=$work/x/usr/share/doc/vernwick/copyright
grep -qx 'Copyright: 2026 The Vernwick developers' "$copyright" && grep -qx 'License: Expat' "$copyright" &&
  grep -qx ' SOFTWARE.' "$copyright" || fail "copyright: $(cat "$copyright")"
# The manual page names every command and option that --help does.
man=$(zcat "$work/x/usr/share/man/man1/vernwick-cli.1.gz" | sed 's/\\-/-/g')
help=$("$work/x/usr/bin/vernwick-cli" --help)
for word in $(sed -n '/^commands:/,/^$/s/^  \([a-z-]*\).*/\1/p' <<<"$help") \
            $(grep -oE -- '--[a-z][a-z-]+' <<<"$help" | sort -u); do
  grep -qF -- "$word" <<<"$man" || fail "manual page lacks $word"
done
grep -qF "Vernwick $version" <<<"$man" || fail "manual page lacks the version"

echo "--- install into a throw-away root"
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log" "$root/etc"
touch "$root/var/lib/dpkg/available"
# What the package depends on counts as installed there, as on this machine.
deps=$(sed 's/([^)]*)//g; s/,/ /g' <<<"$depends")
dpkg-query -s $deps > "$root/var/lib/dpkg/status"
for p in $(dpkg-query -W -f='${binary:Package}\n' $deps); do touch "$root/var/lib/dpkg/info/$p.list"; done
printf 'root:x:0:0:root:/root:/bin/sh\n' > "$root/etc/passwd"
printf 'root:x:0:\n' > "$root/etc/group"
printf 'root:*:19000:0:99999:7:::\n' > "$root/etc/shadow"
printf 'root:*::\n' > "$root/etc/gshadow"
host_users=$(sha256sum </etc/passwd)
install_deb() { dpkg --root="$root" --force-script-chrootless "$@" >/dev/null; }
install_deb -i "$deb"
expect_eq "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' vernwick)" \
  "install ok installed $version" "status"
user=$(grep '^vernwick:' "$root/etc/passwd") || fail "no user vernwick"
IFS=: read -r _ _ uid gid _ home shell <<<"$user"
[ "$uid" -lt 1000 ] && [ "$shell" = /usr/sbin/nologin ] && [ "$home" = /var/lib/vernwick ] || fail "user: $user"
expect_eq "$(sha256sum </etc/passwd)" "$host_users" "this machine's /etc/passwd"

cli=$root/usr/bin/vernwick-cli
ini=$root/etc/vernwick/Vernwick.ini
channels=$root/var/lib/vernwick
"$cli" --help | grep -q check-channels || fail "--help"
expect_eq "$("$cli" --version)" "vernwick-cli $version" "--version"

echo "--- the installed program against the stand-in"
"$bin/vernwick-standin" --port 0 --port-file "$work/standin.port" &
pids+=($!)
wait_file "$work/standin.port"
# The user's edit of the conffile: the stand-in's port, any free server port.
sed -i "s/^RemoconPort=.*/RemoconPort=$(cat "$work/standin.port")/; s/^ServerPort=.*/ServerPort=0/" "$ini"
"$cli" scan --ini "$ini" 2>/dev/null | grep -v '^#' | head -n 3 | "$cli" make-channels --channels "$channels" >/dev/null
"$cli" check-channels --ini "$ini" --channels "$channels" >/dev/null 2>&1 || fail "check-channels: $?"
mkdir -m 777 "$work/run"
setpriv --reuid="$uid" --regid="$gid" --clear-groups \
  "$cli" serve --ini "$ini" --channels "$channels" --port-file "$work/run/port" >"$work/run/out" 2>&1 &
serve=$!
pids+=($serve)
wait_file "$work/run/port"
list=$("$bin/vernwick-viewer" --port "$(cat "$work/run/port")" GetSpaceList GetChList)
grep -q '混在デジタル' <<<"$list" && grep -q 'ＮＨＫ総合２・東京' <<<"$list" || fail "viewer got: $list"
start=$(date +%s%N)
kill -TERM "$serve"
status=0
wait "$serve" || status=$?
echo "serve as uid $uid stopped $(( ($(date +%s%N) - start) / 1000000 )) ms after SIGTERM, status $status"
expect_eq "$status" 0 "serve's exit status"

echo "--- reinstall, remove, purge"
install_deb -i "$deb"
grep -q '^ServerPort=0$' "$ini" || fail "reinstall replaced the edited conffile"
install_deb -r vernwick
[ ! -e "$cli" ] && [ -f "$ini" ] || fail "remove: the program stays or the conffile went"
install_deb -P vernwick
[ ! -e "$ini" ] || fail "purge left the conffile"
grep -q '^vernwick:' "$root/etc/passwd" || fail "the user went"
echo "package test passed"
