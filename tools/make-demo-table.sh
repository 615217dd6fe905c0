#!/usr/bin/env bash
# Makes the demo time table data/liste.xls from tools/demo-table.csv.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build -j2 --target csv2xls >/dev/null
build/tools/csv2xls tools/demo-table.csv data/liste.xls
echo "wrote data/liste.xls"
