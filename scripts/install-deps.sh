#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs, with apt-get, whatever this Debian machine lacks for building the program and its
# tests, and for the optional checks named as arguments:
#
#   scripts/install-deps.sh            the build and the tests
#   scripts/install-deps.sh fuzz       ... and what the fuzz targets need
#   scripts/install-deps.sh package    ... and what building, installing and checking the .deb needs
#                                      (lintian, and promtool from the package prometheus)
#   scripts/install-deps.sh browser    ... and what the web page's browser test needs
#   scripts/install-deps.sh format     ... and clang-format and git, which check the sources' layout
#
# Installing needs root; a machine that already has everything needs nothing.
set -eu

packages="g++ make cmake libgif-dev nlohmann-json3-dev libgtest-dev"
for group in "$@"; do
  case "$group" in
    fuzz) packages="$packages clang-14 libclang-rt-14-dev" ;;
    package) packages="$packages dpkg-dev file binutils adduser man-db systemd lintian prometheus" ;;
    browser) packages="$packages python3 chromium chromium-driver tzdata nginx" ;;
    format) packages="$packages clang-format git" ;;
    *)
      echo "install-deps: unknown group \"$group\" (fuzz, package, browser or format)" >&2
      exit 2
      ;;
  esac
done

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing:$missing; run this script as root" >&2
  exit 1
fi
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
# The package check needs only promtool from the package prometheus, not its server, which
# installing it starts where systemd runs.
case " $missing " in
  *" prometheus "*)
    if [ -d /run/systemd/system ]; then
      systemctl disable --now prometheus.service >/dev/null 2>&1 || true
    fi
    ;;
esac
