#!/bin/sh
# The board build's figures on this machine: the stripped size of each armhf program, and the
# service's start-up time to its first answer on the host line and its resident memory, with
# the service running under qemu-user on a fresh simulated board.
# Usage: tools/measure-board.sh [BUILD_DIR]   (default build-arm; the native build/ must exist)
set -eu
arm=$(realpath "${1:-build-arm}")
work=$(mktemp -d)
simulator=""
trap '[ -n "$simulator" ] && kill "$simulator" 2>/dev/null; sleep 0.2; rm -rf "$work"' EXIT

for program in core/frcore tools/frhost tools/frsim tools/frarchive; do
  [ -f "$arm/$program" ] || continue
  arm-linux-gnueabihf-strip -o "$work/stripped" "$arm/$program"
  echo "$(basename "$program") stripped: $(stat -c %s "$work/stripped") bytes"
done

# The native simulator plays the board and the printer; only the service is emulated. Its
# console stays open through a pipe this script holds.
mkfifo "$work/console"
started=$(date +%s%N)
FRCORE_LAUNCHER="qemu-arm -L /" build/tools/frsim "$work/board" --frcore "$arm/core/frcore" \
  <"$work/console" >"$work/frsim.log" 2>&1 &
simulator=$!
exec 3>"$work/console"
until build/tools/frhost --port "$work/board/host" --timeout 100 version >/dev/null 2>&1; do
  [ $(( ($(date +%s%N) - started) / 1000000000 )) -lt 30 ] || { echo "no answer in 30 s" >&2; cat "$work/frsim.log" >&2; exit 1; }
done
answered=$(date +%s%N)
echo "start-up to the first answer under qemu-arm: $(( (answered - started) / 1000000 )) ms"
service=$(pgrep -f "qemu-arm -L / $arm/core/frcore" | head -n 1)
echo "service resident under qemu-arm (emulator included): $(awk '/VmRSS/ {print $2, $3}' "/proc/$service/status")"
pkill -f "qemu-arm -L / $arm/core/frcore" || true
