#!/usr/bin/env bash
# The Debian package, built by the package preset: its metadata and contents,
# its service unit and how exposed that leaves the system, what lintian says,
# and an install into a throw-away root whose program, run with that root as
# its file system, finds its files where the package put them and serves the
# stand-in as the service's own user; then removal and purge. Nothing outside
# a temporary folder and the preset's build folder is touched: dpkg runs the
# maintainer scripts outside the root with DPKG_ROOT set (chrootless), and
# they edit only that root's user files.
# usage: deb_test.sh SOURCE_DIR BUILD_DIR VERSION (BUILD_DIR: the stand-in's)
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "needs root (dpkg --root, systemd-sysusers --root, chroot); skipped"
  exit 77
fi
source_dir=$1
bin=$2/bin
version=$3
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

start=$(date +%s%N)
(cd "$source_dir" && cmake --preset package >/dev/null && cmake --build --preset package --target package >/dev/null)
echo "package preset: configured and built in $(( ($(date +%s%N) - start) / 1000000 )) ms"
arch=$(dpkg --print-architecture)
deb=$source_dir/build/package/packages/vernwick_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $deb"

echo "--- metadata and contents"
expect_eq "$(dpkg-deb -f "$deb" Package Version Architecture)" \
  "$(printf 'Package: vernwick\nVersion: %s\nArchitecture: %s' "$version" "$arch")" "control fields"
depends=$(dpkg-deb -f "$deb" Depends)
for p in "systemd | systemd-standalone-sysusers | systemd-sysusers" libc6 libstdc++6; do
  [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
done
# Every folder is root's and open to all; every file. The channel files'
# folder is made by postinst, so that it is no package folder that dpkg would
# find full at removal.
expect_eq "$(dpkg-deb -c "$deb" | awk '$6 ~ /\/$/ && $1 " " $2 != "drwxr-xr-x root/root"')" "" "folders"
expect_eq "$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ || $6 ~ /^.\/var/ { print $1, $2, $6 }')" "\
-rw-r--r-- root/root ./etc/vernwick/Vernwick.ini
-rwxr-xr-x root/root ./usr/bin/vernwick-cli
-rw-r--r-- root/root ./usr/lib/systemd/system/vernwick.service
-rw-r--r-- root/root ./usr/lib/sysusers.d/vernwick.conf
-rw-r--r-- root/root ./usr/share/doc/vernwick/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/vernwick/copyright
-rw-r--r-- root/root ./usr/share/doc/vernwick/examples/auto-launch.conf
-rw-r--r-- root/root ./usr/share/man/man1/vernwick-cli.1.gz" "files"
expect_eq "$(dpkg-deb -I "$deb" conffiles)" /etc/vernwick/Vernwick.ini "conffiles"
dpkg-deb -x "$deb" "$work/x"
unit=$work/x/usr/lib/systemd/system/vernwick.service
expect_eq "$(grep -E '^(User|ExecStart|KillSignal|KillMode)=' "$unit")" "\
User=vernwick
ExecStart=/usr/bin/vernwick-cli serve --ini /etc/vernwick/Vernwick.ini --channels /var/lib/vernwick
KillSignal=SIGTERM
KillMode=mixed" "unit"
if command -v systemd-analyze >/dev/null; then
  # Against the unpacked tree, which holds the program the unit runs.
  systemd-analyze verify --root="$work/x" --man=no --recursive-errors=no "$unit" || fail "systemd-analyze verify"
  echo "systemd-analyze verify: ok"
  # The score is shown in tenths of the threshold's scale: 30 is 3.0.
  systemd-analyze security --offline=true --root="$work/x" --threshold=30 vernwick.service >"$work/security" 2>&1 ||
    fail "systemd-analyze security: $(tail -n 1 "$work/security")"
  tail -n 1 "$work/security"
else
  echo "systemd-analyze not present; unit not verified or scored"
fi
if command -v lintian >/dev/null; then
  lintian --allow-root --fail-on error,warning "$deb" || fail "lintian"
  echo "lintian: no error or warning"
else
  echo "lintian not present; package not checked by it"
fi
changelog=$(zcat "$work/x/usr/share/doc/vernwick/changelog.gz" | head -n 1)
[[ "$changelog" == "vernwick ($version) "* ]] || fail "the changelog's latest entry is not $version: $changelog"
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
# Both name the folders the package's program looks in.
for text in "$help" "$man"; do
  grep -qF "(default: /etc/vernwick/Vernwick.ini)" <<<"$text" && grep -qF "(default: /var/lib/vernwick)" <<<"$text" ||
    fail "default paths not shown: $text"
done

echo "--- install into a throw-away root"
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log" "$root/etc"
touch "$root/var/lib/dpkg/available"
# What the package depends on counts as installed there, as on this machine,
# with the folders it owns (/etc, /usr/bin, ...), which dpkg then leaves alone;
# and so does base-files, which owns the rest.
deps="base-files $(sed 's/([^)]*)//g; s/|[^,]*//g; s/,/ /g' <<<"$depends")"
dpkg-query -s $deps > "$root/var/lib/dpkg/status"
for p in $(dpkg-query -W -f='${binary:Package}\n' $deps); do
  cp "/var/lib/dpkg/info/$p.list" "$root/var/lib/dpkg/info/$p.list"
done
printf 'root:x:0:0:root:/root:/bin/sh\n' > "$root/etc/passwd"
printf 'root:x:0:\n' > "$root/etc/group"
printf 'root:*:19000:0:99999:7:::\n' > "$root/etc/shadow"
printf 'root:*::\n' > "$root/etc/gshadow"
host_users=$(sha256sum </etc/passwd)
# dpkg's own warnings count as failures.
install_deb() {
  dpkg --root="$root" --force-script-chrootless "$@" >"$work/dpkg.out" 2>&1 || fail "dpkg $*: $(cat "$work/dpkg.out")"
  ! grep -i warning "$work/dpkg.out" || fail "dpkg $* warned"
}
install_deb -i "$deb"
expect_eq "$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' vernwick)" \
  "install ok installed $version" "status"
user=$(grep '^vernwick:' "$root/etc/passwd") || fail "no user vernwick"
IFS=: read -r _ _ uid gid _ home shell <<<"$user"
[ "$uid" -lt 1000 ] && [ "$shell" = /usr/sbin/nologin ] && [ "$home" = /var/lib/vernwick ] || fail "user: $user"
expect_eq "$(sha256sum </etc/passwd)" "$host_users" "this machine's /etc/passwd"
install_deb -i "$deb"
expect_eq "$(grep -c '^vernwick:' "$root/etc/passwd")" 1 "users named vernwick after a second install"

cli=$root/usr/bin/vernwick-cli
ini=$root/etc/vernwick/Vernwick.ini
channels=$root/var/lib/vernwick
expect_eq "$("$cli" --version)" "vernwick-cli $version" "--version"

echo "--- the installed program, with the root as its file system, against the stand-in"
# The program with its libraries, as the system it was installed on has them.
for lib in $(ldd "$cli" | grep -oE '/[^ ]+'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
mkdir -m 1777 "$root/tmp"
"$bin/vernwick-standin" --port 0 --port-file "$work/standin.port" &
pids+=($!)
wait_file "$work/standin.port"
# The user's edit of the conffile: the stand-in's port, any free server port.
sed -i "s/^RemoconPort=.*/RemoconPort=$(cat "$work/standin.port")/; s/^ServerPort=.*/ServerPort=0/" "$ini"
# No --ini or --channels: /etc/vernwick/Vernwick.ini and /var/lib/vernwick.
chroot "$root" /usr/bin/vernwick-cli scan 2>/dev/null | grep -v '^#' | head -n 3 >"$root/tmp/picked.txt"
[ -s "$root/tmp/picked.txt" ] || fail "scan found nothing"
# An ordinary user cannot write the service's channel files, and is told why.
status=0
chroot --userspec="$uid:$gid" "$root" /usr/bin/vernwick-cli make-channels /tmp/picked.txt 2>"$work/denied" || status=$?
expect_eq "$status:$(cat "$work/denied")" \
  "1:ファイル /var/lib/vernwick/BonDriver_TVTest(TVTest).ChSet.txt を作成できません (Permission denied)" "make-channels as a user"
chroot "$root" /usr/bin/vernwick-cli make-channels /tmp/picked.txt >/dev/null
[ -s "$channels/BonDriver_TVTest(TVTest).ChSet.txt" ] && [ -s "$channels/BonDriver_TVTest(TVTest).ChAlias.txt" ] ||
  fail "make-channels did not write into /var/lib/vernwick"
chroot "$root" /usr/bin/vernwick-cli check-channels >/dev/null 2>&1 || fail "check-channels: $?"
chroot --userspec="$uid:$gid" "$root" /usr/bin/vernwick-cli serve --port-file /tmp/port >"$work/serve.out" 2>&1 &
serve=$!
pids+=($serve)
wait_file "$root/tmp/port"
list=$("$bin/vernwick-viewer" --port "$(cat "$root/tmp/port")" GetSpaceList GetChList)
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
[ ! -e "$cli" ] && [ -f "$ini" ] && [ -s "$channels/BonDriver_TVTest(TVTest).ChSet.txt" ] ||
  fail "remove: the program stays, or the settings or the channel files went"
install_deb -P vernwick
[ ! -e "$root/etc/vernwick" ] && [ ! -e "$channels" ] || fail "purge left /etc/vernwick or /var/lib/vernwick"
grep -q '^vernwick:' "$root/etc/passwd" || fail "the user went"
echo "package test passed"
