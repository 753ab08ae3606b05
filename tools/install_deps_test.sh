#!/bin/sh
# tools/install-deps.sh against fake dpkg, dpkg-query, apt-get and sudo first on PATH: with
# every package installed it asks no package registry for any set; with packages missing it
# installs exactly those, each with its architecture, adding armhf first when it must.
set -eu
script="$(cd "$(dirname "$0")" && pwd)/install-deps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fakes="$work/bin"
mkdir -p "$fakes"
log="$work/log"

# The fakes read the machine they pretend from the environment: FAKE_MISSING lists the
# packages (NAME:ARCH as asked) that are not installed, FAKE_FOREIGN the foreign architectures,
# FAKE_OFFLINE "offline" when no registry answers or N when the first N calls fail as a mirror
# caught mid-sync fails, FAKE_REFUSED a NAME:ARCH that apt refuses (an index missing) until it
# is asked for at a version, which apt-cache gives as 1.2-1.
cat > "$fakes/dpkg-query" <<'FAKE'
#!/bin/sh
package=$3
for missing in $FAKE_MISSING; do [ "$missing" = "$package" ] && exit 1; done
printf 'ii \n'
FAKE
cat > "$fakes/dpkg" <<'FAKE'
#!/bin/sh
case $1 in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) [ -n "$FAKE_FOREIGN" ] && echo "$FAKE_FOREIGN"; true ;;
  *) echo "dpkg $*" >> "$FAKE_LOG" ;;
esac
FAKE
cat > "$fakes/apt-get" <<'FAKE'
#!/bin/sh
echo "apt-get $*" >> "$FAKE_LOG"
case $FAKE_OFFLINE in
  "") ;;
  offline) echo "apt-get: no package registry reachable" >&2; exit 100 ;;
  *) [ "$(grep -c '^apt-get' "$FAKE_LOG")" -le "$FAKE_OFFLINE" ] && { echo "apt-get: index of unexpected size" >&2; exit 100; } ;;
esac
if [ "$1" = install ] && [ -n "$FAKE_REFUSED" ]; then
  case " $* " in
    *" $FAKE_REFUSED=1.2-1 "*) ;;
    *) echo " libx-dev:armhf : Depends: $FAKE_REFUSED (>= 1.0) but it is not going to be installed"
       echo "E: Unable to correct problems, you have held broken packages."
       exit 100 ;;
  esac
fi
true
FAKE
cat > "$fakes/apt-cache" <<'FAKE'
#!/bin/sh
printf '%s:\n  Installed: (none)\n  Candidate: 1.2-1\n' "$2"
FAKE
cat > "$fakes/sudo" <<'FAKE'
#!/bin/sh
exec "$@"
FAKE
chmod +x "$fakes"/*

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run SET MISSING FOREIGN OFFLINE [REFUSED]: the script's status; its log in $log.
run() {
  : > "$log"
  PATH="$fakes:$PATH" FAKE_MISSING=$2 FAKE_FOREIGN=$3 FAKE_OFFLINE=$4 FAKE_REFUSED=${5:-} FAKE_LOG="$log" \
    INSTALL_DEPS_RETRY_PAUSE=0 \
    sh "$script" "$1" > "$work/out" 2>&1 && return 0 || return $?
}

for set in run test fuzz bench arm arm-test deb; do
  run "$set" "" armhf offline || fail "$set with nothing missing and no registry: status $?: $(cat "$work/out")"
  [ -s "$log" ] && fail "$set with nothing missing called: $(cat "$log")"
done

run test "libgtest-dev:amd64 chromium:amd64" armhf "" || fail "test with two missing: status $?"
expected="apt-get update -qq
apt-get install -y -qq libgtest-dev:amd64 chromium:amd64"
[ "$(cat "$log")" = "$expected" ] || fail "test with two missing called: $(cat "$log")"

# The native GoogleTest missing while the armhf one is installed.
run test "libgtest-dev:amd64" armhf "" || fail "test without the native GoogleTest: status $?"
grep -qx "apt-get install -y -qq libgtest-dev:amd64" "$log" || fail "test without the native GoogleTest called: $(cat "$log")"

run arm "libc6:armhf" "" "" || fail "arm without armhf: status $?"
expected="dpkg --add-architecture armhf
apt-get update -qq
apt-get install -y -qq libc6:armhf"
[ "$(cat "$log")" = "$expected" ] || fail "arm without armhf called: $(cat "$log")"

# The run set asks for nothing of the board's build or the tests.
run run "libgtest-dev:amd64 libc6:armhf lintian clang:amd64 chromium:amd64" "" "" || fail "run: status $?"
[ -s "$log" ] && fail "run installs what other targets need: $(cat "$log")"

# A mirror mid-sync for two tries, then whole again.
run test "libgtest-dev:amd64" armhf 2 || fail "test through a mirror mid-sync: status $?"
expected="apt-get update -qq
apt-get update -qq
apt-get update -qq
apt-get install -y -qq libgtest-dev:amd64"
[ "$(cat "$log")" = "$expected" ] || fail "test through a mirror mid-sync called: $(cat "$log")"

# The armhf index still missing after three tries: the package apt refuses is asked for at one
# version for both architectures.
run arm "libc6:armhf" armhf 3 "libssl3:armhf" || fail "arm without the armhf index: status $?: $(cat "$work/out")"
expected="apt-get update -qq
apt-get update -qq
apt-get update -qq
apt-get install -y -qq libc6:armhf
apt-get install -s --allow-downgrades libc6:armhf
apt-get install -s --allow-downgrades libc6:armhf libssl3:amd64=1.2-1 libssl3:armhf=1.2-1
apt-get install -y -qq --allow-downgrades libc6:armhf libssl3:amd64=1.2-1 libssl3:armhf=1.2-1"
[ "$(cat "$log")" = "$expected" ] || fail "arm without the armhf index called: $(cat "$log")"

if run arm "qemu-user:amd64" armhf offline; then fail "a failed install reported success"; fi
if run everything "" armhf offline; then fail "an unknown set was taken"; fi

[ "$failures" -eq 0 ] && echo "install-deps: every case passed"
exit "$failures"
