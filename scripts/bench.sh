#!/bin/bash
# Builds the tree (optimised, as the tests build it) and runs every benchmark:
# each executable named bench_* under build/bench/. Each prints its figures next
# to a baseline measured in the same run, and the ratio.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWERROR=ON </dev/null >/dev/null
cmake --build build -j"$(nproc)" </dev/null >/dev/null

status=0
while IFS= read -r bench; do
  echo "== ${bench#build/}"
  "$bench" || status=1
done < <(find build/bench -type f -executable -name 'bench_*' | sort)
exit "$status"
