#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian package in the release build (scripts/build-release.sh) and checks it end to
# end, as a package reviewer and an administrator would on this machine: its name and contents,
# lintian (no error, no warning, no override), its dependencies (the C library, the C++ runtime
# and giflib only), installing it (the user norvane, nothing enabled), the installed program
# (linked with the system's giflib and C library, and no more than six libraries) and manual
# page, a station set up as the README says
# run through the service's own command as norvane, with its metrics file checked by promtool,
# the installed units under systemd-analyze and what they let the service write, then remove,
# reinstall and purge, after which no file of the package is left. Needs root and a Debian 12
# machine; systemd need not be running. It leaves the package purged and the user norvane in
# place, as a purge does.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
export DEBIAN_FRONTEND=noninteractive

build=build/release
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

# The package, from the release build of this tree.
scripts/build-release.sh
rm -f "$build"/norvane-fof2_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
upstream=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
version="$upstream-$(sed -n 's/^NORVANE_DEB_REVISION:STRING=//p' "$build/CMakeCache.txt")"
deb="$build/norvane-fof2_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "cpack made no $deb"
pass "cpack made $(basename "$deb") ($(du -k "$deb" | cut -f1) KB)"

changelog_version=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
[ "$changelog_version" = "$version" ] ||
  fail "packaging/debian/changelog is at $changelog_version, the package at $version"
pass "the changelog's last entry is version $version"

# lintian as a reviewer runs it: every tag shown, and not one error or warning.
status=0
lintian -EvIL +pedantic --show-overrides --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 ||
  status=$?
if [ "$status" -ne 0 ] || grep -E '^[EWO]: ' "$scratch/lintian" >/dev/null; then
  fail "lintian (exit status $status): $(cat "$scratch/lintian")"
fi
pass "lintian -EvIL +pedantic: no error, no warning, no override ($(grep -c '^[IPX]: ' "$scratch/lintian" || true) notes)"
# Depends, from dpkg-shlibdeps: the C library, the C++ runtime and giflib, and adduser for the
# maintainer scripts; nothing else.
depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends" | tr ',|' '\n\n' | sed -e 's/^ *//' -e 's/[ (].*//' >"$scratch/depends"
for package in libc6 libgif7 libstdc++6 adduser; do
  grep -qxF "$package" "$scratch/depends" || fail "the package does not depend on $package: $depends"
done
others=$(grep -vxF -e libc6 -e libgcc-s1 -e libstdc++6 -e libgif7 -e adduser "$scratch/depends" ||
  true)
[ -z "$others" ] || fail "the package depends on more than it should: $others"
pass "Depends: $depends"

# Contents: where Debian wants them, the units naming the installed program, no helper programs.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$scratch/contents"
for path in /usr/bin/norvane_foF2 /usr/share/man/man1/norvane_foF2.1.gz \
  /lib/systemd/system/norvane-foF2@.service /lib/systemd/system/norvane-foF2@.timer \
  /lib/systemd/system/norvane-foF2@.path /usr/share/doc/norvane-fof2/README.md \
  /usr/share/doc/norvane-fof2/changelog.gz /usr/share/doc/norvane-fof2/changelog.Debian.gz \
  /usr/share/doc/norvane-fof2/copyright /usr/share/doc/norvane-fof2/examples/norvane_foF2.ini \
  /usr/share/norvane-fof2/www/index.html /usr/share/doc/norvane-fof2/examples/web/nginx.conf \
  /usr/share/doc/norvane-fof2/examples/cron.d/norvane-foF2; do
  grep -qx "$path" "$scratch/contents" || fail "the package lacks $path"
done
if grep -E '^/usr/local|norvane_make_demo_data|norvane_benchmark|norvane_foF2_static|norvane_tests|/www/.*\.conf$|/lintian/' "$scratch/contents"; then
  fail "the package holds files it should not"
fi
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
grep -q "^norvane_foF2 $upstream\$" "$scratch/version" ||
  fail "norvane_foF2 --version said: $(head -1 "$scratch/version")"
[ -z "$(ls -A "$empty")" ] || fail "norvane_foF2 --version wrote files"
grep -Eq '^giflib [0-9]+\.[0-9]+\.[0-9]+$' "$scratch/version" ||
  fail "norvane_foF2 --version names no giflib version: $(cat "$scratch/version")"
pass "norvane_foF2 --version: $(tr '\n' ' ' <"$scratch/version")"
[ "$(man -w norvane_foF2)" = /usr/share/man/man1/norvane_foF2.1.gz ] ||
  fail "man -w norvane_foF2 does not find the manual page"
zcat /usr/share/man/man1/norvane_foF2.1.gz | groff -man -Tutf8 -ww -z 2>"$scratch/groff"
[ ! -s "$scratch/groff" ] || fail "the manual page has roff warnings: $(cat "$scratch/groff")"
pass "man -w norvane_foF2 finds the manual page, which groff renders without warnings"
ldd /usr/bin/norvane_foF2 >"$scratch/ldd" 2>&1 || fail "ldd /usr/bin/norvane_foF2: $(cat "$scratch/ldd")"
if ! grep -q '^[[:space:]]*libgif\.so\.7 => /' "$scratch/ldd" ||
  ! grep -q '^[[:space:]]*libc\.so\.6 => /' "$scratch/ldd"; then
  fail "the installed program does not link the system's giflib and C library: $(cat "$scratch/ldd")"
fi
# The kernel's vDSO is no library file.
libraries=$(grep -v 'linux-vdso' "$scratch/ldd" | sed -n 's/^[[:space:]]*\([^ ]*\).*/\1/p' |
  xargs basename -a | tr '\n' ' ')
[ "$(echo "$libraries" | wc -w)" -le 6 ] || fail "the installed program loads more than six libraries: $libraries"
pass "the installed program loads $libraries"

# A station set up as the README says (its folder, settings file and measurements root's, the
# forecast, archive and picture folders norvane's, the node exporter's folder writable by the
# group norvane), run as norvane through the installed service's own command, with the folders
# of the station and of the metrics moved into the scratch folder.
srv="$scratch/srv/norvane"
station="$srv/ci"
metrics="$scratch/node-exporter"
mkdir -p "$srv" "$metrics"
chmod 755 "$scratch" "$scratch/srv" "$srv"
"$build/tools/norvane_make_demo_data" "$station" >/dev/null
chown norvane:norvane "$station/forecasts" "$station/forecasts/previous_foF2_plots" \
  "$station/pictures"
chown root:norvane "$metrics"
chmod 775 "$metrics"
command=$(awk '/\\$/ { sub(/\\$/, " "); printf "%s", $0; next } { print }' \
  /lib/systemd/system/norvane-foF2@.service | sed -n "s/^ExecStart=\/bin\/sh -c '\(.*\)'\$/\1/p" |
  sed -e 's/%i/ci/g' -e "s|/srv/norvane/|$srv/|g" -e "s|/var/lib/prometheus/node-exporter|$metrics|g")
[ -n "$command" ] || fail "the service's ExecStart is not the sh -c command this check knows"
status=0
runuser -u norvane -- /bin/sh -c "$command" 2>"$scratch/messages" || status=$?
[ "$status" -eq 0 ] || fail "the station's run as norvane exited with $status: $(cat "$scratch/messages")"
[ ! -s "$scratch/messages" ] || fail "the station's run as norvane said: $(cat "$scratch/messages")"
pictures=$(file "$station"/pictures/plotfoF2[1-6].gif "$station"/forecasts/previous_foF2_plots/*.gif |
  grep -c 'GIF image data, version 8[79]a, 286 x 231' || true)
[ "$pictures" -eq 12 ] || fail "the station's run as norvane wrote $pictures pictures of 286 x 231, not 12"
pass "the service's command, run as norvane on a station set up as the README says, wrote twelve pictures"
prom="$metrics/norvane_fof2_ci.prom"
[ -f "$prom" ] || fail "the service's command wrote no $prom: $(ls -A "$metrics")"
promtool check metrics <"$prom" >"$scratch/promtool" 2>&1 ||
  fail "promtool check metrics: $(cat "$scratch/promtool")"
for metric in last_run_timestamp_seconds last_run_success newest_measurement_timestamp_seconds \
  pictures_written archive_pictures_kept; do
  grep -q "^norvane_fof2_$metric{station=\"ci\"} [0-9]" "$prom" || fail "$prom lacks norvane_fof2_$metric"
done
grep -qx 'norvane_fof2_last_run_success{station="ci"} 1' "$prom" || fail "$prom says the run failed"
pass "the service's command wrote the station's metrics to the node exporter's folder; promtool check metrics accepts them"
rm -r "$metrics"
status=0
runuser -u norvane -- /bin/sh -c "$command" 2>"$scratch/messages" || status=$?
if [ "$status" -ne 0 ] || [ -s "$scratch/messages" ]; then
  fail "without the node exporter's folder, the service's command exited with $status: $(cat "$scratch/messages")"
fi
pass "without the node exporter's folder, the service's command runs quietly without metrics"
# shellcheck disable=SC2016
if runuser -u norvane -- /bin/sh -c ': >>"$1"' sh "$station/norvane_foF2.ini" 2>/dev/null; then
  fail "norvane may write the station's settings file"
fi
pass "norvane may not write the station's settings file"

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

# What the installed service may write: the whole file system is read-only for it
# (ProtectSystem=strict) but for its ReadWritePaths, which must hold the station's forecast and
# picture folders and must not hold its settings file.
systemd-analyze security --offline=true --json=short norvane-foF2@ci.service 2>/dev/null |
  grep -q '"json_field":"ProtectSystem","description":"Service has strict read-only access' ||
  fail "the service does not see the file system read-only (ProtectSystem=strict)"
unit=/lib/systemd/system/norvane-foF2@.service
! grep -Eq '^(BindPaths|ReadWriteDirectories)=' "$unit" || fail "the service binds or opens more folders"
sed -n 's/^ReadWritePaths=//p' "$unit" | tr ' ' '\n' | sed -e '/^$/d' -e 's/^-//' -e 's/%i/ci/g' \
  >"$scratch/writable"
settings=/srv/norvane/ci/norvane_foF2.ini
while read -r path; do
  case "$settings" in
    "$path" | "${path%/}"/*) fail "the service may write $path, which holds the settings file" ;;
  esac
done <"$scratch/writable"
for path in /srv/norvane/ci/forecasts /srv/norvane/ci/pictures; do
  grep -qx "$path" "$scratch/writable" || fail "the service may not write $path"
done
pass "the service may write only $(tr '\n' ' ' <"$scratch/writable")and not the settings file"

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
