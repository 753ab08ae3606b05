#!/bin/sh
# check-layering.sh on a small tree: an include down the table passes, one up it fails with the
# file named, tests and test support may include anything, and a README without the table fails.
set -eu
checker="$(cd "$(dirname "$0")" && pwd)/check-layering.sh"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/top/state" "$root/low"
cat > "$root/README.md" <<'TABLE'
## Layers

| folder | includes |
|---|---|
| `top/` | `top/state/`, `low/` |
| `top/state/` | `low/` |
| `low/` | — |

## After
| `low/` | `top/` |
TABLE
printf '#include "top/state/s.h"\n#include "low/l.h"\n#include <vector>\n' > "$root/top/t.cpp"
printf '#include "low/l.h"\n' > "$root/top/state/s.h"
printf '#include "top/t.h"\n' > "$root/low/l_test.cpp"
printf '#include "top/state/s.h"\n' > "$root/low/l_testing.h"
printf '#pragma once\n' > "$root/low/l.h"

fail() { echo "FAIL: $1"; exit 1; }
sh "$checker" "$root" > "$root/out" || fail "a tree inside its layers was refused: $(cat "$root/out")"

printf '#include "top/state/s.h"\n' >> "$root/low/l.h"
if sh "$checker" "$root" > "$root/out"; then fail "an include up the table passed"; fi
grep -q '^low/l.h includes top/state/s.h; low/ may include only: no other folder' "$root/out" || fail "$(cat "$root/out")"
grep -q '^1 includes cross' "$root/out" || fail "$(cat "$root/out")"

printf '## Layout\n' > "$root/README.md"
if sh "$checker" "$root" > "$root/out"; then fail "a README without the table passed"; fi
echo "PASS"
