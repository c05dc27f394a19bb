#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the Debian package in the release build (scripts/build-release.sh) and checks it end to
# end, as a package reviewer and an administrator would on this machine: its name and contents,
# its conffiles and news, lintian (no error, no warning, no override), its dependencies (the C
# library, the C++ runtime and giflib only), an upgrade over the previous release's package
# (built from its commit) whose web snippets the administrator had copied where that release
# said, the installed program (linked with the system's giflib and C library and no more than
# six libraries, naming its revision) and manual page, a station set up as the README says run
# through the service's own command as norvane, with its metrics file checked by promtool, the
# installed units under systemd-analyze and what they let the service write, the installed
# snippets served by Apache and nginx on a loopback port, then remove, reinstall and purge,
# after which no file of the package, no metrics file, no status override and no enablement is
# left, and what purge leaves on purpose is listed. Needs root and a Debian 12 machine; systemd
# need not be running. It leaves the package purged and the user norvane in place, as a purge
# does.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
export DEBIAN_FRONTEND=noninteractive

build=build/release
scratch=$(mktemp -d)
# The node exporter's folder, made for the check where the node exporter is not installed.
exporter=/var/lib/prometheus/node-exporter
made_exporter=""
cleanup() {
  # The web servers of a check that failed while they served.
  if [ -f "$scratch/apache/pid" ]; then
    apache2 -f "$scratch/apache/httpd.conf" -k stop 2>/dev/null || true
  fi
  if [ -f "$scratch/nginx/pid" ]; then
    kill "$(cat "$scratch/nginx/pid")" 2>/dev/null || true
  fi
  rm -rf "$scratch"
  if [ -n "$made_exporter" ]; then
    rm -rf "$exporter"
  fi
}
trap cleanup EXIT
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

# The package, from the release build of this tree, and the source revision it is built from.
revision=""
if git rev-parse -q --verify HEAD >/dev/null 2>&1; then
  revision=$(git describe --always --dirty)
fi
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

# The conffiles: the page's settings, the index of the stations and the web servers' snippets,
# where Debian's Apache and nginx look for them, each the file of web/ it comes from.
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | sort >"$scratch/conffiles"
printf '%s\n' /etc/apache2/conf-available/norvane-fof2.conf /etc/nginx/snippets/norvane-fof2.conf \
  /etc/norvane-fof2/page.conf /etc/norvane-fof2/stations.html >"$scratch/expected-conffiles"
cmp -s "$scratch/conffiles" "$scratch/expected-conffiles" ||
  fail "the package's conffiles are: $(tr '\n' ' ' <"$scratch/conffiles")"
for pair in apache.conf:/etc/apache2/conf-available/norvane-fof2.conf \
  nginx.conf:/etc/nginx/snippets/norvane-fof2.conf page.conf:/etc/norvane-fof2/page.conf \
  stations.html:/etc/norvane-fof2/stations.html; do
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ".${pair#*:}" | cmp -s - "web/${pair%%:*}" ||
    fail "${pair#*:} in the package is not web/${pair%%:*}"
done
pass "conffiles: $(tr '\n' ' ' <"$scratch/conffiles")from web/"

# The news for administrators: an entry for this version, which tells of the page's address.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/norvane-fof2/NEWS.Debian.gz |
  gunzip >"$scratch/NEWS" || fail "the package has no /usr/share/doc/norvane-fof2/NEWS.Debian.gz"
news_version=$(dpkg-parsechangelog -l "$scratch/NEWS" -S Version)
[ "$news_version" = "$version" ] || fail "NEWS.Debian's last entry is $news_version, not $version"
grep -q '/foF2/<station>/' "$scratch/NEWS" || fail "NEWS.Debian does not tell of /foF2/<station>/"
pass "NEWS.Debian's last entry is $version, and tells of the page at /foF2/<station>/"

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
  /usr/share/norvane-fof2/www/index.html /usr/share/norvane-fof2/www/stations.js \
  /usr/share/norvane-fof2/www/stations.css /usr/share/doc/norvane-fof2/examples/web/nginx.conf \
  /usr/share/doc/norvane-fof2/examples/cron.d/norvane-foF2 \
  /usr/share/doc/norvane-fof2/NEWS.Debian.gz \
  /usr/share/doc/norvane-fof2/examples/prometheus/norvane-foF2.rules.yml; do
  grep -qx "$path" "$scratch/contents" || fail "the package lacks $path"
done
if grep -E '^/usr/local|norvane_make_demo_data|norvane_benchmark|norvane_foF2_static|norvane_tests|/www/.*\.conf$|/www/stations\.html$|/lintian/' "$scratch/contents"; then
  fail "the package holds files it should not"
fi
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/norvane_foF2 >"$scratch/program"
file "$scratch/program" | grep -q ', stripped' || fail "the packaged program is not stripped"
pass "the package holds the program (stripped), the manual page, the units and the examples"

# The previous release's package, built from the commit it was released from (its tag, where
# the clone has one) in a folder of its own under build/, which a later check reuses.
previous_version=$(dpkg-parsechangelog -l packaging/debian/changelog --offset 1 --count 1 -S Version)
case "$previous_version" in
  1.1.0-1) previous_commit=d7054bfb8797c7e67a8501a92c56183442faeb77 ;;
  *) fail "no commit is known for the previous release $previous_version: add it here" ;;
esac
if git rev-parse -q --verify "refs/tags/v$previous_version^{commit}" >/dev/null; then
  previous_commit=$(git rev-parse "v$previous_version^{commit}")
fi
previous="build/previous-$previous_commit"
previous_deb="$previous/build/norvane-fof2_${previous_version}_$(dpkg --print-architecture).deb"
if [ ! -f "$previous_deb" ]; then
  rm -rf "$previous"
  mkdir -p "$previous/source"
  git archive "$previous_commit" | tar -x -C "$previous/source" ||
    fail "cannot take the previous release's sources from commit $previous_commit"
  # Its own dependencies (another library, say), as its own script names them.
  "$previous/source/scripts/install-deps.sh" package >/dev/null
  cmake -S "$previous/source" -B "$previous/build" -DCMAKE_BUILD_TYPE=Release \
    -DNORVANE_BUILD_TESTS=OFF -DNORVANE_STATIC_PROGRAM=OFF >/dev/null
  cmake --build "$previous/build" --parallel "$(nproc)" >/dev/null
  (cd "$previous/build" && cpack -G DEB >/dev/null)
  [ -f "$previous_deb" ] || fail "the previous release's build made no $previous_deb"
fi
pass "the previous release's package $(basename "$previous_deb") is built from $previous_commit"

# Install it, on a machine where a package may be installed already from an earlier check, and
# do what its documents said: copy the web snippets to where they said, let the group norvane
# write in the node exporter's folder.
if dpkg-query -W -f='${Status}' norvane-fof2 2>/dev/null | grep -q 'install ok installed'; then
  dpkg -P norvane-fof2 >/dev/null
fi
apt-get install -y -qq "./$previous_deb" >/dev/null 2>"$scratch/apt" ||
  fail "apt-get (previous release): $(cat "$scratch/apt")"
examples=/usr/share/doc/norvane-fof2/examples/web
install -D -m 644 "$examples/apache.conf" /etc/apache2/conf-available/norvane-fof2.conf
install -D -m 644 "$examples/nginx.conf" /etc/nginx/snippets/norvane-fof2.conf
cp /etc/apache2/conf-available/norvane-fof2.conf "$scratch/old-apache.conf"
cp /etc/nginx/snippets/norvane-fof2.conf "$scratch/old-nginx.conf"
if [ ! -d "$exporter" ]; then
  mkdir "$exporter"
  made_exporter=yes
fi
dpkg-statoverride --list "$exporter" >/dev/null ||
  dpkg-statoverride --update --add root norvane 0775 "$exporter"

# Upgrade as apt does for an administrator who keeps what is theirs: dpkg keeps the copied
# snippets and puts the package's beside them.
apt-get install -y -qq -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold \
  "./$deb" >/dev/null 2>"$scratch/apt" || fail "apt-get (upgrade): $(cat "$scratch/apt")"
[ "$(dpkg-query -W -f='${Version}' norvane-fof2)" = "$version" ] ||
  fail "the upgrade left version $(dpkg-query -W -f='${Version}' norvane-fof2) installed"
for pair in apache.conf:/etc/apache2/conf-available/norvane-fof2.conf \
  nginx.conf:/etc/nginx/snippets/norvane-fof2.conf; do
  conffile=${pair#*:}
  cmp -s "$conffile" "$scratch/old-${pair%%:*}" || fail "the upgrade changed the copied $conffile"
  cmp -s "$conffile.dpkg-dist" "web/${pair%%:*}" ||
    fail "the upgrade left no $conffile.dpkg-dist of web/${pair%%:*}"
  # The administrator takes the package's version, as NEWS.Debian tells.
  mv "$conffile.dpkg-dist" "$conffile"
done
[ -f /usr/share/doc/norvane-fof2/NEWS.Debian.gz ] || fail "the upgrade installed no NEWS.Debian.gz"
pass "upgrading $previous_version to $version keeps the copied snippets, with the package's beside them as .dpkg-dist, and brings NEWS.Debian"
for conffile in /etc/apache2/conf-available/norvane-fof2.conf /etc/nginx/snippets/norvane-fof2.conf; do
  dpkg-query -W -f='${Conffiles}\n' norvane-fof2 | grep -q " $conffile " ||
    fail "dpkg does not hold $conffile as a conffile of the package"
done
if [ -e /etc/apache2/conf-enabled/norvane-fof2.conf ]; then
  fail "installing enabled the Apache snippet"
fi
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
# The release, and the source revision where the package was built from a git checkout.
expected="norvane_foF2 $upstream${revision:+ (git $revision)}"
[ "$(head -1 "$scratch/version")" = "$expected" ] ||
  fail "norvane_foF2 --version said: $(head -1 "$scratch/version"), not $expected"
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
# group norvane through the status override set above), run as norvane through the installed
# service's own command, with the station's folder moved into the scratch folder.
srv="$scratch/srv/norvane"
station="$srv/ci"
mkdir -p "$srv"
chmod 755 "$scratch" "$scratch/srv" "$srv"
"$build/tools/norvane_make_demo_data" "$station" >/dev/null
chown norvane:norvane "$station/forecasts" "$station/forecasts/previous_foF2_plots" \
  "$station/pictures"
chmod 0771 "$station/forecasts"
chmod 0775 "$station/forecasts/previous_foF2_plots" "$station/pictures"
service_command() {
  awk '/\\$/ { sub(/\\$/, " "); printf "%s", $0; next } { print }' \
    /lib/systemd/system/norvane-foF2@.service | sed -n "s/^ExecStart=\/bin\/sh -c '\(.*\)'\$/\1/p" |
    sed -e 's/%i/ci/g' -e "s|/srv/norvane/|$srv/|g" -e "s|/var/lib/prometheus/node-exporter|$1|g"
}
command=$(service_command "$exporter")
[ -n "$command" ] || fail "the service's ExecStart is not the sh -c command this check knows"
status=0
runuser -u norvane -- /bin/sh -c "$command" 2>"$scratch/messages" || status=$?
[ "$status" -eq 0 ] || fail "the station's run as norvane exited with $status: $(cat "$scratch/messages")"
[ ! -s "$scratch/messages" ] || fail "the station's run as norvane said: $(cat "$scratch/messages")"
pictures=$(file "$station"/pictures/plotfoF2[1-6].gif "$station"/forecasts/previous_foF2_plots/*.gif |
  grep -c 'GIF image data, version 8[79]a, 286 x 231' || true)
[ "$pictures" -eq 12 ] || fail "the station's run as norvane wrote $pictures pictures of 286 x 231, not 12"
pass "the service's command, run as norvane on a station set up as the README says, wrote twelve pictures"
runuser -u norvane -- norvane_foF2 -C "$station" --check >"$scratch/check" 2>&1 || true
grep -q '^run lock: can be taken, and other users of this machine cannot open' "$scratch/check" ||
  fail "--check as norvane does not say that only the station's users can take its lock: $(cat "$scratch/check")"
if runuser -u nobody -- ls "$station/forecasts" >/dev/null 2>&1 ||
  runuser -u nobody -- cat "$station/forecasts/.norvane_foF2.lock" >/dev/null 2>&1; then
  fail "another user may open the forecast folder or its lock file, and so hold the station's lock"
fi
runuser -u nobody -- cat "$station"/forecasts/previous_foF2_plots/*.gif >/dev/null ||
  fail "another user (the web server) cannot read the archive pictures"
pass "with the README's modes only the station's users can hold its lock, and others still read the archive"
prom="$exporter/norvane_fof2_ci.prom"
[ -f "$prom" ] || fail "the service's command wrote no $prom: $(ls -A "$exporter")"
# promtool's linter takes "days" in a name for a unit of time that should be seconds;
# norvane_fof2_days_without_forecast counts figures (days drawn without a forecast curve), so
# that one finding is no fault. Any other is, and so is a file promtool cannot parse.
status=0
promtool check metrics <"$prom" >"$scratch/promtool" 2>&1 || status=$?
if [ "$status" -ne 0 ] && { [ "$status" -ne 3 ] ||
  grep -v '^norvane_fof2_days_without_forecast use base unit "seconds" instead of "days"$' \
    "$scratch/promtool" | grep -q .; }; then
  fail "promtool check metrics (exit status $status): $(cat "$scratch/promtool")"
fi
for metric in last_run_timestamp_seconds last_run_success last_run_warnings \
  newest_measurement_timestamp_seconds days_without_forecast pictures_written \
  archive_pictures_kept; do
  grep -q "^norvane_fof2_$metric{station=\"ci\"} [0-9]" "$prom" || fail "$prom lacks norvane_fof2_$metric"
done
grep -qx 'norvane_fof2_last_run_success{station="ci"} 1' "$prom" || fail "$prom says the run failed"
pass "the service's command wrote the station's metrics to the node exporter's folder; promtool check metrics accepts them"
status=0
runuser -u norvane -- /bin/sh -c "$(service_command "$scratch/no-node-exporter")" \
  2>"$scratch/messages" || status=$?
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

# The installed snippets as the web servers read them, each served on a loopback port by a server
# of its own that includes the conffile with the folders of its station rome written as those of
# the station above, as an administrator writes them: the page and its settings, with the headers
# the page needs, page.conf as UTF-8 text; the index of the stations at /foF2/, which lists rome;
# the page's script, the index's, and the JSON files sent compressed to a client that takes gzip;
# a day's CSV as text/csv. The servers' workers read the station's files as another user would.
chmod 755 "$scratch"
csv=$(cd "$station/forecasts/previous_foF2_plots" && ls -- *.csv | head -n 1)
[ -n "$csv" ] || fail "the station's run wrote no CSV in its archive"
served_snippet() {
  sed "s|/srv/norvane/rome/|$station/|g" "$1" >"$2"
}
served_index() {
  location=$(curl -sS -o /dev/null -w '%{http_code} %{redirect_url}' "http://127.0.0.1:$1/foF2")
  case "$location" in
    "301 "*/foF2/) ;;
    *) fail "$2 answered /foF2 with $location, not a redirect to /foF2/" ;;
  esac
  headers_of "$1" /foF2/ "$2" 'text/html'
  curl -sS "http://127.0.0.1:$1/foF2/" | grep -qF '<li><a href="rome/">rome</a></li>' ||
    fail "$2's index at /foF2/ does not list rome"
  for path in /foF2/stations.js /foF2/rome/foF2.js /foF2/rome/pictures/plotfoF2.json \
    /foF2/rome/archive/index.json; do
    curl -sS -H 'Accept-Encoding: gzip' -D "$scratch/headers" -o "$scratch/body" \
      "http://127.0.0.1:$1$path" || fail "$2 did not answer $path"
    { tr -d '\r' <"$scratch/headers" | grep -qix 'Content-Encoding: gzip' &&
      gunzip -t <"$scratch/body"; } ||
      fail "$2 sent $path uncompressed to a client that takes gzip: $(cat "$scratch/headers")"
  done
  curl -sS -D - -o /dev/null "http://127.0.0.1:$1/foF2/rome/archive/$csv" | tr -d '\r' |
    grep -qi '^Content-Type: text/csv' || fail "$2 does not send /foF2/rome/archive/$csv as text/csv"
}
headers_of() {
  curl -sS -D - -o /dev/null "http://127.0.0.1:$1$2" | tr -d '\r' >"$scratch/headers" ||
    fail "$3 did not answer $2"
  for header in 'HTTP/1.1 200 OK' "Content-Type: $4" "X-Content-Type-Options: nosniff" \
    "Content-Security-Policy: default-src 'none'; script-src 'self'"; do
    grep -qiF "$header" "$scratch/headers" ||
      fail "$3 answered $2 without \"$header\": $(cat "$scratch/headers")"
  done
}
modules=/usr/lib/apache2/modules
mkdir "$scratch/apache"
cat >"$scratch/apache/httpd.conf" <<EOF
ServerName localhost
ServerRoot $scratch/apache
Listen 127.0.0.1:58081
PidFile $scratch/apache/pid
ErrorLog $scratch/apache/error.log
User www-data
Group www-data
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule alias_module $modules/mod_alias.so
LoadModule mime_module $modules/mod_mime.so
LoadModule headers_module $modules/mod_headers.so
LoadModule dir_module $modules/mod_dir.so
LoadModule filter_module $modules/mod_filter.so
LoadModule deflate_module $modules/mod_deflate.so
TypesConfig /etc/mime.types
DirectoryIndex index.html
Include $scratch/apache/norvane-fof2.conf
EOF
served_snippet /etc/apache2/conf-available/norvane-fof2.conf "$scratch/apache/norvane-fof2.conf"
apache2 -f "$scratch/apache/httpd.conf" -k start 2>"$scratch/apache/start" ||
  fail "Apache does not start with the installed snippet: $(cat "$scratch/apache/start")"
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -f "$scratch/apache/pid" ] && break; sleep 0.2; done
headers_of 58081 /foF2/rome/page.conf Apache 'text/plain; charset=utf-8'
headers_of 58081 /foF2/rome/ Apache 'text/html'
served_index 58081 Apache
apache2 -f "$scratch/apache/httpd.conf" -k stop
mkdir "$scratch/nginx"
cat >"$scratch/nginx/nginx.conf" <<EOF
pid $scratch/nginx/pid;
error_log $scratch/nginx/error.log;
events {}
http {
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    access_log off;
    server {
        listen 127.0.0.1:58082;
        include $scratch/nginx/norvane-fof2.conf;
    }
}
EOF
served_snippet /etc/nginx/snippets/norvane-fof2.conf "$scratch/nginx/norvane-fof2.conf"
nginx -c "$scratch/nginx/nginx.conf" -p "$scratch/nginx" -e "$scratch/nginx/error.log" \
  2>"$scratch/nginx/start" ||
  fail "nginx does not start with the installed snippet: $(cat "$scratch/nginx/start")"
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -f "$scratch/nginx/pid" ] && break; sleep 0.2; done
headers_of 58082 /foF2/rome/page.conf nginx 'text/plain; charset=utf-8'
headers_of 58082 /foF2/rome/ nginx 'text/html'
served_index 58082 nginx
kill "$(cat "$scratch/nginx/pid")"
pass "Apache and nginx serve the page through the installed snippets, with its headers, page.conf as UTF-8 text, the index of the stations at /foF2/, text compressed and CSV as text/csv"

# Remove keeps the user, reinstall finds it, purge leaves no file of the package behind.
dpkg -L norvane-fof2 >"$scratch/files"
systemctl enable norvane-foF2@ci.timer >/dev/null 2>&1
ls /etc/systemd/system/timers.target.wants/norvane-foF2@ci.timer >/dev/null ||
  fail "systemctl enable norvane-foF2@ci.timer made no link"
a2enconf -q norvane-fof2 >/dev/null
[ -L /etc/apache2/conf-enabled/norvane-fof2.conf ] || fail "a2enconf norvane-fof2 made no link"
dpkg -r norvane-fof2 >/dev/null 2>"$scratch/remove" || fail "dpkg -r: $(cat "$scratch/remove")"
[ "$(getent passwd norvane)" = "$entry" ] || fail "removing changed the user norvane"
[ ! -e /usr/bin/norvane_foF2 ] || fail "removing left the program"
[ -f /etc/apache2/conf-available/norvane-fof2.conf ] || fail "removing took the Apache snippet"
if [ -L /etc/apache2/conf-enabled/norvane-fof2.conf ]; then
  fail "removing left the Apache snippet enabled, without a page to serve"
fi
apt-get install -y -qq "./$deb" >/dev/null 2>"$scratch/apt" || fail "apt-get: $(cat "$scratch/apt")"
[ "$(getent passwd norvane)" = "$entry" ] || fail "reinstalling changed the user norvane"
if [ -L /etc/apache2/conf-enabled/norvane-fof2.conf ]; then
  fail "reinstalling enabled the Apache snippet"
fi
dpkg -i "$deb" >/dev/null || fail "installing over the installed package failed"
pass "remove keeps the user norvane and the snippets and disables the Apache one; reinstalling, and installing over itself, work and enable nothing"
# Before the purge, what an administrator has done: the Apache snippet enabled again, an nginx
# site that includes the snippet (one not enabled, so that no running nginx reads it).
a2enconf -q norvane-fof2 >/dev/null
[ -L /etc/apache2/conf-enabled/norvane-fof2.conf ] || fail "a2enconf norvane-fof2 made no link"
site=/etc/nginx/sites-available/norvane-fof2-check
printf 'server {\n    include snippets/norvane-fof2.conf;\n}\n' >"$site"
dpkg -P norvane-fof2 >/dev/null 2>"$scratch/purge" || fail "dpkg -P: $(cat "$scratch/purge")"
rm -f "$site"
grep -qF "norvane-fof2: $site includes /etc/nginx/snippets/norvane-fof2.conf, which is gone now" \
  "$scratch/purge" ||
  fail "purging did not name the nginx site that includes the snippet: $(cat "$scratch/purge")"
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
if ls "$exporter"/norvane_fof2_*.prom 2>/dev/null; then
  fail "purging left the stations' metrics in $exporter"
fi
if dpkg-statoverride --list "$exporter" >/dev/null; then
  fail "purging left the status override of $exporter: $(dpkg-statoverride --list "$exporter")"
fi
[ "$(stat -c '%U:%G %a' "$exporter")" = "root:root 755" ] ||
  fail "purging left $exporter as $(stat -c '%U:%G %a' "$exporter")"
if [ -e /etc/apache2/conf-enabled/norvane-fof2.conf ] ||
  [ -L /etc/apache2/conf-enabled/norvane-fof2.conf ]; then
  fail "purging left the Apache snippet enabled"
fi
# What stays on purpose: the user and group norvane and the stations' folders (here in the
# scratch folder); nothing else of the package's name anywhere the package or its scripts wrote.
leftovers=$(find /etc /usr /var/lib /lib /run \( -iname '*norvane*' -o -iname '*fof2*' \) \
  -not -path '/var/lib/dpkg/*' 2>/dev/null || true)
[ -z "$leftovers" ] || fail "purging left: $leftovers"
pass "purge leaves no file of the package, no metrics, no status override, no enablement; it leaves, on purpose, the user $(getent passwd norvane | cut -d: -f1,3), the group $(getent group norvane | cut -d: -f1,3) and the stations' folders (here $srv)"


echo "package-check: $passed passed, 0 failed"
