#!/bin/sh
# Installs, with apt-get, whatever the build and the tests need that this Debian machine lacks.
# Installing needs root; a machine that already has everything needs nothing.
set -eu

packages="g++ make cmake libgd-dev libgtest-dev"

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
