#!/bin/sh
# Holds the tree to the layers the README draws: the sources of each folder in its "Layers"
# table include headers only of their own folder and of the folders their row names. Tests,
# benchmarks, fuzz targets and test support (*_test, *_bench, *_fuzz, *_testing) may include
# any folder; folders the table does not name (tools/) are not held. Says each include that
# crosses the layers and fails when there is one.
#   check-layering.sh [ROOT]
set -eu
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
readme="$root/README.md"

# One line per row: the folder, then the folders it may include.
rules=$(awk '/^## /{ on = ($0 == "## Layers") } on && /^\| `/ {
  split($0, cell, "|"); folder = cell[2]; gsub(/[` ]/, "", folder); line = folder; rest = cell[3]
  while (match(rest, /`[a-z_\/]+\/`/)) { line = line " " substr(rest, RSTART + 1, RLENGTH - 2); rest = substr(rest, RSTART + RLENGTH) }
  print line }' "$readme")
[ -n "$rules" ] || { echo "no Layers table in $readme"; exit 1; }

crossings=$(echo "$rules" | while read -r folder allowed; do
  find "$root/$folder" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \) | sort | while read -r file; do
    case "$(basename "$file")" in *_test.* | *_bench.* | *_fuzz.* | *_testing.*) continue ;; esac
    sed -n 's/^#include "\([^"]*\/[^"]*\)".*/\1/p' "$file" | while read -r header; do
      included="${header%/*}/"
      [ "$included" = "$folder" ] && continue
      case " $allowed " in *" $included "*) continue ;; esac
      echo "${file#"$root"/} includes $header; $folder may include only: ${allowed:-no other folder}"
    done
  done
done)
if [ -n "$crossings" ]; then
  echo "$crossings"
  echo "$(echo "$crossings" | wc -l) includes cross the layers drawn in README.md"
  exit 1
fi
echo "every include keeps to the layers drawn in README.md"
