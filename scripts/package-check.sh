#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian package in a Release build and checks it end to end, as an administrator
# would use it on this machine: its name and contents, installing it (the user norvane, nothing
# enabled), the installed program and manual page, the demo run through the installed program as
# norvane, the installed units under systemd-analyze, then remove, reinstall and purge, after
# which no file of the package is left. Needs root and a Debian 12 machine; systemd need not be
# running. It leaves the package purged and the user norvane in place, as a purge does.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
export DEBIAN_FRONTEND=noninteractive

build=build/package
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0

pass() {
  passed=$((passed + 1))
  echo "package-check: ok: $1"
}
fail() {
  echo "package-check: FAILED: $1" >&2
  echo "package-check: $passed passed, 1 failed"
  exit 1
}

# The package, from a Release build of this tree.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" >/dev/null
rm -f "$build"/norvane-fof2_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/norvane-fof2_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "cpack made no $deb"
pass "cpack made $(basename "$deb") ($(du -k "$deb" | cut -f1) KB)"

changelog_version=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
[ "$changelog_version" = "$version" ] ||
  fail "packaging/debian/changelog is at $changelog_version, the project at $version"
pass "the changelog's last entry is version $version"

# Contents: where Debian wants them, the units naming the installed program, no helper programs.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$scratch/contents"
for path in /usr/bin/norvane_foF2 /usr/share/man/man1/norvane_foF2.1.gz \
  /lib/systemd/system/norvane-foF2@.service /lib/systemd/system/norvane-foF2@.timer \
  /lib/systemd/system/norvane-foF2@.path /usr/share/doc/norvane-fof2/README.md \
  /usr/share/doc/norvane-fof2/changelog.gz /usr/share/doc/norvane-fof2/examples/norvane_foF2.ini \
  /usr/share/norvane-fof2/www/index.html /usr/share/doc/norvane-fof2/examples/web/nginx.conf \
  /usr/share/doc/norvane-fof2/examples/cron.d/norvane-foF2; do
  grep -qx "$path" "$scratch/contents" || fail "the package lacks $path"
done
if grep -E '^/usr/local|norvane_make_demo_data|norvane_benchmark|norvane_tests|/www/.*\.conf$' "$scratch/contents"; then
  fail "the package holds files it should not"
fi
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./lib/systemd/system/norvane-foF2@.service |
  grep -qx 'ExecStart=/usr/bin/norvane_foF2 -C /srv/norvane/%i' ||
  fail "the service does not run /usr/bin/norvane_foF2 -C /srv/norvane/%i"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/norvane_foF2 >"$scratch/program"
file "$scratch/program" | grep -q ', stripped' || fail "the packaged program is not stripped"
pass "the package holds the program (stripped), the manual page, the units and the examples"

# Install, on a machine where it may be installed already from an earlier check.
if dpkg-query -W -f='${Status}' norvane-fof2 2>/dev/null | grep -q 'install ok installed'; then
  dpkg -P norvane-fof2 >/dev/null
fi
apt-get install -y -qq "./$deb" >/dev/null 2>"$scratch/apt" || fail "apt-get: $(cat "$scratch/apt")"
entry=$(getent passwd norvane) || fail "installing made no user norvane"
uid=$(echo "$entry" | cut -d: -f3)
[ "$uid" -lt 1000 ] || fail "norvane is no system user (uid $uid)"
echo "$entry" | grep -q ':/nonexistent:/usr/sbin/nologin$' || fail "norvane may log in: $entry"
[ ! -e /nonexistent ] || fail "norvane has a home"
getent group norvane >/dev/null || fail "installing made no group norvane"
if ls /etc/systemd/system/*.wants/norvane-foF2@* 2>/dev/null; then
  fail "installing enabled units"
fi
pass "installing made the system user and group norvane and enabled nothing"

# The program and its manual page, found as an administrator finds them.
empty="$scratch/empty"
mkdir "$empty"
(cd "$empty" && norvane_foF2 --version) >"$scratch/version" || fail "norvane_foF2 --version failed"
grep -q "^norvane_foF2 $version" "$scratch/version" ||
  fail "norvane_foF2 --version said: $(head -1 "$scratch/version")"
[ -z "$(ls -A "$empty")" ] || fail "norvane_foF2 --version wrote files"
pass "norvane_foF2 --version: $(head -1 "$scratch/version")"
[ "$(man -w norvane_foF2)" = /usr/share/man/man1/norvane_foF2.1.gz ] ||
  fail "man -w norvane_foF2 does not find the manual page"
zcat /usr/share/man/man1/norvane_foF2.1.gz | groff -man -Tutf8 -ww -z 2>"$scratch/groff"
[ ! -s "$scratch/groff" ] || fail "the manual page has roff warnings: $(cat "$scratch/groff")"
pass "man -w norvane_foF2 finds the manual page, which groff renders without warnings"

# The demo, run through the installed program as norvane in a folder of its own.
demo="$scratch/station"
"$build/tools/norvane_make_demo_data" "$demo" >/dev/null
chmod 755 "$scratch"
chown -R norvane:norvane "$demo"
status=0
runuser -u norvane -- norvane_foF2 -C "$demo" 2>"$scratch/messages" || status=$?
[ "$status" -eq 0 ] || fail "the demo run as norvane exited with $status: $(cat "$scratch/messages")"
pictures=$(file "$demo"/pictures/plotfoF2[1-6].gif "$demo"/forecasts/previous_foF2_plots/*.gif |
  grep -c 'GIF image data, version 8[79]a, 286 x 231' || true)
[ "$pictures" -eq 12 ] || fail "the demo run as norvane wrote $pictures pictures of 286 x 231, not 12"
pass "the demo run as norvane exited with 0 and wrote twelve pictures"

# The installed units, as systemd reads them (systemd need not be running).
if ! systemd-analyze verify norvane-foF2@ci.service norvane-foF2@ci.timer \
  norvane-foF2@ci.path >"$scratch/verify" 2>&1 || [ -s "$scratch/verify" ]; then
  fail "systemd-analyze verify: $(cat "$scratch/verify")"
fi
pass "systemd-analyze verify passes on the installed units"
exposure=$(systemd-analyze security --offline=true norvane-foF2@ci.service 2>/dev/null |
  sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
[ -n "$exposure" ] || fail "systemd-analyze security gave no exposure level"
awk -v e="$exposure" 'BEGIN { exit !(e < 1.0) }' ||
  fail "the service's exposure level is $exposure, more than its hardening allows"
pass "systemd-analyze security: the service's exposure level is $exposure"

# Remove keeps the user, reinstall finds it, purge leaves no file of the package behind.
dpkg -L norvane-fof2 >"$scratch/files"
systemctl enable norvane-foF2@ci.timer >/dev/null 2>&1
ls /etc/systemd/system/timers.target.wants/norvane-foF2@ci.timer >/dev/null ||
  fail "systemctl enable norvane-foF2@ci.timer made no link"
dpkg -r norvane-fof2 >/dev/null
[ "$(getent passwd norvane)" = "$entry" ] || fail "removing changed the user norvane"
[ ! -e /usr/bin/norvane_foF2 ] || fail "removing left the program"
apt-get install -y -qq "./$deb" >/dev/null 2>"$scratch/apt" || fail "apt-get: $(cat "$scratch/apt")"
[ "$(getent passwd norvane)" = "$entry" ] || fail "reinstalling changed the user norvane"
dpkg -i "$deb" >/dev/null || fail "installing over the installed package failed"
pass "remove keeps the user norvane; reinstalling, and installing over itself, work"
dpkg -P norvane-fof2 >/dev/null
while read -r path; do
  # A folder may stay when other packages have files in it.
  if [ -e "$path" ] && ! { [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1; }; then
    fail "purging left $path"
  fi
done <"$scratch/files"
if ls /etc/systemd/system/*.wants/norvane-foF2@* 2>/dev/null; then
  fail "purging left the units' enablement"
fi
[ "$(getent passwd norvane)" = "$entry" ] || fail "purging changed the user norvane"
pass "purge leaves no file of the package and no enablement, and keeps the user norvane"

echo "package-check: $passed passed, 0 failed"
