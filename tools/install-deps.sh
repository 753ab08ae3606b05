#!/bin/sh
# Installs the Debian packages the build and the tests need, when any is missing.
set -e
packages="build-essential cmake libgtest-dev libbenchmark-dev clang libclang-rt-14-dev nlohmann-json3-dev libcli11-dev pkg-config libcpp-httplib-dev libsqlite3-dev"
# The board's build: armhf cross compilers, qemu-user to run its tests, armhf GoogleTest by
# multiarch, and what makes and checks the Debian packages.
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture armhf; else sudo dpkg --add-architecture armhf; fi
fi
packages="$packages crossbuild-essential-armhf qemu-user libc6:armhf libstdc++6:armhf libgtest-dev:armhf libcpp-httplib-dev:armhf libsqlite3-dev:armhf dpkg-dev fakeroot lintian"
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
