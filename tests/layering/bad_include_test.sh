#!/usr/bin/env bash
# The layer check must stop a wrong include: a link file that reaches up into monitor, a core
# file that includes Qt, and a folder the table does not know. A clean tree passes.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/scripts" "$tree/src/link" "$tree/src/monitor" "$tree/src/common"
cp "$(dirname "$check")/layers" "$tree/scripts/layers"
printf '#include "common/clock.h"\n' >"$tree/src/link/fine.h"
printf '#include "link/gauge_link.h"\n#include <vector>\n' >"$tree/src/monitor/fine.h"
"$check" "$tree" || { echo "a clean tree was refused"; exit 1; }

printf '#include "monitor/scan_engine.h"\n' >"$tree/src/link/bad.h"
printf '#include <QWidget>\n' >"$tree/src/monitor/bad.h"
mkdir -p "$tree/src/extras" && printf '#include "common/clock.h"\n' >"$tree/src/extras/x.h"
if output=$("$check" "$tree" 2>&1); then
  echo "bad includes were let through"; exit 1
fi
for expected in "src/link/bad.h:1: link may not include monitor" \
                "src/monitor/bad.h:1: only the GUI may include Qt" \
                "src/extras is not in scripts/layers"; do
  grep -qF "$expected" <<<"$output" || { echo "missing: $expected"; echo "$output"; exit 1; }
done
echo "ok"
