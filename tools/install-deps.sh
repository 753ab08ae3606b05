#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing.
set -e
packages="build-essential cmake libgtest-dev libbenchmark-dev clang libclang-rt-14-dev nlohmann-json3-dev"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
sudo_if_needed=""
[ "$(id -u)" -ne 0 ] && sudo_if_needed="sudo"
$sudo_if_needed apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo_if_needed apt-get install -y -qq $missing
