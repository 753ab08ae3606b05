#!/bin/sh
# The board build's figures on this machine: the stripped size of each armhf program; the
# service's start-up time to its first answer on the host line under qemu-user on a fresh
# simulated board; and the memory of the running service, under qemu-user (the emulator's
# own memory included) and built natively: its resident size, its proportional set size (Pss:
# each shared page counted as its share among the processes that map it) and its private
# memory (the pages no other process maps). The resident size is mostly the C and C++
# libraries' pages, which every program on the board shares.
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

# start_board NAME SERVICE: starts frsim on a fresh board with the service SERVICE (run through
# $launcher when it is not empty) and waits for its first answer; frsim's console stays open
# through a pipe this script holds. Sets $simulator and $service (the service's pid, as frsim
# reports it).
start_board() {
  board="$work/board-$1"
  mkfifo "$work/console-$1"
  FRCORE_LAUNCHER="$launcher" build/tools/frsim "$board" --frcore "$2" <"$work/console-$1" >"$work/frsim-$1.log" 2>&1 &
  simulator=$!
  exec 3>"$work/console-$1"
  started=$(date +%s%N)
  until build/tools/frhost --port "$board/host" --timeout 100 version >/dev/null 2>&1; do
    [ $(( ($(date +%s%N) - started) / 1000000000 )) -lt 30 ] || { echo "no answer in 30 s" >&2; cat "$work/frsim-$1.log" >&2; exit 1; }
  done
  answered=$(date +%s%N)
  service=$(sed -n 's/.*(pid \([0-9]*\)).*/\1/p' "$work/frsim-$1.log" | head -n 1)
}

# Stops the board of start_board.
stop_board() {
  exec 3>&-
  kill "$simulator"
  wait "$simulator" 2>/dev/null || true
  simulator=""
}

# The memory of process $service: resident, proportional and private, from its smaps rollup.
memory() {
  awk '/^Rss:/ {rss = $2} /^Pss:/ {pss = $2} /^Private_(Clean|Dirty):/ {private += $2}
       END {printf "resident %d kB, Pss %d kB, private %d kB\n", rss, pss, private}' "/proc/$service/smaps_rollup"
}

# The native simulator plays the board and the printer; only the service is emulated.
launcher="qemu-arm -L /"
start_board arm "$arm/core/frcore"
echo "start-up to the first answer under qemu-arm: $(( (answered - started) / 1000000 )) ms"
echo "service under qemu-arm (emulator included): $(memory)"
stop_board

launcher=""
start_board native build/core/frcore
echo "service built natively ($(uname -m)): $(memory)"
stop_board
