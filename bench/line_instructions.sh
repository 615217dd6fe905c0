#!/usr/bin/env bash
# Instructions per line of the main thread (line handling and the repaint),
# counted by callgrind: independent of the machine's load, so figures from a
# busy machine compare. Two runs of different length; their difference leaves
# out start-up and first-paint costs.
#   bench/line_instructions.sh BENCH_BINARY FILTER
#   bench/line_instructions.sh build/bench/line_bench 'DisplayModeLineWithRepaint/2$'
set -euo pipefail
bin=$1 filter=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {  # prints: instructions lines
  QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind \
    --toggle-collect='Tdisplay::ComThread1PacketReceived*' --toggle-collect='QCoreApplication::processEvents*' \
    --callgrind-out-file="$out/$1" "$bin" --benchmark_filter="$filter" --benchmark_min_time="$2" >/dev/null 2>&1 || true
  local total id
  total=$(grep '^summary:' "$out/$1" | awk '{print $2}')
  id=$(grep -o 'fn=([0-9]*) [A-Za-z]*::dispatchLine()' "$out/$1" | head -1 | cut -d' ' -f1 | cut -d= -f2)
  awk -v id="cfn=$id" -v total="$total" '($0 == id || index($0, id " ") == 1) { getline; if ($0 ~ /^calls=/) { split($0, a, /[= ]/); n += a[2] } }
    END { print total, n }' "$out/$1"
}
read -r t1 l1 < <(run short 0.1)
read -r t2 l2 < <(run long 0.5)
echo "$filter: $(( (t2 - t1) / (l2 - l1) )) instructions per line"
