#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs, with apt-get, whatever this Debian machine lacks for building the program and its
# tests, and for the optional checks named as arguments:
#
#   scripts/install-deps.sh            the build and the tests
#   scripts/install-deps.sh fuzz       ... and what the fuzz targets need
#   scripts/install-deps.sh package    ... and what building, installing and checking the .deb needs
#                                      (lintian, promtool from the package prometheus, and Apache
#                                      and nginx, which serve the installed snippets)
#   scripts/install-deps.sh monitoring ... and promtool (package prometheus), for the alert rules
#   scripts/install-deps.sh browser    ... and what the web page's browser test needs, with npm
#                                      (Debian's, where the machine has none) and, through it, the
#                                      npm packages that tests/web/package-lock.json pins (axe-core)
#                                      in tests/web/node_modules
#   scripts/install-deps.sh format     ... and clang-format and git, which check the sources' layout
#
# Installing needs root; a machine that already has everything needs nothing.
set -eu

packages="g++ make cmake libgif-dev nlohmann-json3-dev libgtest-dev"
npm_packages=""
for group in "$@"; do
  case "$group" in
    fuzz) packages="$packages clang-14 libclang-rt-14-dev" ;;
    package)
      packages="$packages dpkg-dev file binutils adduser man-db systemd lintian prometheus"
      packages="$packages apache2 nginx curl"
      ;;
    browser)
      packages="$packages python3 chromium chromium-driver tzdata nginx"
      command -v npm >/dev/null 2>&1 || packages="$packages npm"
      npm_packages="$(cd "$(dirname "$0")/../tests/web" && pwd)"
      ;;
    format) packages="$packages clang-format git" ;;
    monitoring) packages="$packages prometheus" ;;
    *)
      echo "install-deps: unknown group \"$group\" (fuzz, package, browser, format or monitoring)" >&2
      exit 2
      ;;
  esac
done

# Installs the npm packages of the browser test, as its lock file pins them, unless they are
# already in place for this lock file.
npm_install() {
  [ -n "$npm_packages" ] || return 0
  [ "$npm_packages/node_modules/.package-lock.json" -nt "$npm_packages/package-lock.json" ] && return 0
  echo "install-deps: installing the npm packages of $npm_packages"
  (cd "$npm_packages" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
}

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
if [ -z "$missing" ]; then
  npm_install
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing:$missing; run this script as root" >&2
  exit 1
fi
# Runs apt-get with the arguments given. Another apt or dpkg may hold the package system's locks
# (the daily upgrade of a machine just booted, say); then it waits for them, up to five minutes,
# and says so, rather than fail at once.
errors=$(mktemp)
policy=""
trap 'rm -f "$errors" $policy' EXIT
apt_get() {
  waited=0
  while :; do
    status=0
    apt-get -o DPkg::Lock::Timeout=0 "$@" 2>"$errors" || status=$?
    if [ "$status" -eq 0 ] || ! grep -Eq 'Could not get lock|Unable to (lock|acquire)' "$errors" ||
      [ "$waited" -ge 300 ]; then
      cat "$errors" >&2
      return "$status"
    fi
    if [ "$waited" -eq 0 ]; then
      holder=$(sed -n 's/.* held by \(process [0-9]* ([^)]*)\).*/\1/p' "$errors" | head -n 1)
      echo "install-deps: another apt or dpkg is at work${holder:+ ($holder)}; waiting up to 5 minutes for it" >&2
    fi
    sleep 5
    waited=$((waited + 5))
  done
}

# The checks need only the programs of the servers among them (promtool from prometheus, Apache
# and nginx, which they run on loopback ports of their own), not their services: installing
# would start them, and two web servers cannot both have port 80. While installing, a policy
# keeps every service from starting, where the machine has no policy of its own; then the
# servers just installed are kept from starting at boot.
servers=""
for package in $missing; do
  case "$package" in
    prometheus | apache2 | nginx) servers="$servers $package" ;;
  esac
done
if [ -n "$servers" ] && [ ! -e /usr/sbin/policy-rc.d ]; then
  policy=/usr/sbin/policy-rc.d
  printf '#!/bin/sh\n# install-deps of norvane_foF2: no service starts while it installs.\nexit 101\n' >"$policy"
  chmod 755 "$policy"
fi

echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt_get update -qq
# shellcheck disable=SC2086
apt_get install -y -qq --no-install-recommends $missing >/dev/null
for server in $servers; do
  if [ -d /run/systemd/system ]; then
    systemctl disable --now "$server.service" >/dev/null 2>&1 || true
  fi
done
npm_install
