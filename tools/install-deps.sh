#!/bin/sh
# Installs the Debian packages one make target needs, when any is missing; with nothing missing
# it installs nothing and asks no package registry.
#
#   sh tools/install-deps.sh SET        SET: run, test, fuzz, bench, arm, arm-test or deb
#
#   run       the compiler, CMake and the tools' libraries: the service and its tools
#   test      + GoogleTest, and what the tests run (python3, nodejs, chromium, curl, systemd-analyze)
#   fuzz      + clang and its fuzzing runtime (fuzz builds make no tests)
#   bench     + GoogleTest (the test support) and Google Benchmark
#   arm       + the armhf cross compilers, qemu-user and the armhf libraries (GoogleTest among
#             them) by multiarch
#   arm-test  arm, and what the tests run
#   deb       run, the armhf cross build of the programs, and what makes and checks the packages
#
# Each package is asked for with its architecture (NAME:ARCH, or NAME alone for a package of
# every architecture): once libgtest-dev:armhf is installed beside the native one, the bare
# name no longer tells whether the native one is there.
set -eu

set_name=${1:-}
native=$(dpkg --print-architecture)

run="build-essential:$native cmake:$native pkg-config:$native nlohmann-json3-dev libcli11-dev libcpp-httplib-dev:$native
     libsqlite3-dev:$native"
gtest="libgtest-dev:$native"
test_tools="python3:$native nodejs:$native chromium:$native curl:$native systemd:$native"
fuzz="clang:$native libclang-rt-14-dev:$native"
bench="libbenchmark-dev:$native"
cross="crossbuild-essential-armhf qemu-user:$native libc6:armhf libstdc++6:armhf libcpp-httplib-dev:armhf
       libsqlite3-dev:armhf"
packaging="dpkg-dev fakeroot:$native lintian"

case $set_name in
  run) packages="$run" ;;
  test) packages="$run $gtest $test_tools" ;;
  fuzz) packages="$run $fuzz" ;;
  bench) packages="$run $gtest $bench" ;;
  arm) packages="$run $cross libgtest-dev:armhf" ;;
  arm-test) packages="$run $cross libgtest-dev:armhf $test_tools" ;;
  deb) packages="$run $cross $packaging" ;;
  *)
    echo "usage: sh tools/install-deps.sh run|test|fuzz|bench|arm|arm-test|deb" >&2
    exit 2
    ;;
esac

as_root=""
[ "$(id -u)" -ne 0 ] && as_root="sudo"

# Installed means exactly one package matches the name and it is installed ("ii").
missing=""
for package in $packages; do
  state=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "$package" 2>/dev/null || true)
  [ "$state" = "ii " ] || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

echo "installing:$missing"
case $missing in
  *:armhf*)
    if ! dpkg --print-foreign-architectures | grep -qx armhf; then
      $as_root dpkg --add-architecture armhf
    fi
    ;;
esac
# A mirror caught mid-sync serves an index of the wrong size for a while: three tries,
# INSTALL_DEPS_RETRY_PAUSE seconds apart (default 20). apt keeps the indexes it did fetch.
index_complete=no
for attempt in 1 2 3; do
  $as_root apt-get update -qq && { index_complete=yes; break; }
  [ "$attempt" -eq 3 ] || sleep "${INSTALL_DEPS_RETRY_PAUSE:-20}"
done
apt_install() {
  $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@"
}
# shellcheck disable=SC2086  # one word per package
apt_install $missing && exit 0
[ "$index_complete" = yes ] && exit 100

# An index is missing (the foreign architecture's security updates, say): apt then knows some
# packages for one architecture only at an older version than this machine has for the other,
# and a package installed for both must have one version in both. Each package apt refuses
# ("Depends: NAME:ARCH ... but it is not going to be installed") is asked for at ARCH's
# candidate version for both architectures, which may take a native package back to it, until
# apt agrees: four rounds at most.
echo "install-deps: an index is missing; asking for versions both architectures have" >&2
pins=""
round=0
# shellcheck disable=SC2086
while ! refusal=$(apt-get install -s --allow-downgrades $missing $pins 2>&1); do
  round=$((round + 1))
  refused=$(printf '%s\n' "$refusal" |
    sed -n 's/.*Depends: \([^ :]*:[a-z0-9]*\) .*but it is not going to be installed.*/\1/p' | sort -u)
  if [ "$round" -gt 4 ] || [ -z "$refused" ]; then
    printf '%s\n' "$refusal" >&2
    exit 100
  fi
  for package in $refused; do
    version=$(apt-cache policy "$package" | sed -n 's/^ *Candidate: //p')
    pins="$pins ${package%%:*}:$native=$version $package=$version"
  done
done
# shellcheck disable=SC2086
apt_install --allow-downgrades $missing $pins
