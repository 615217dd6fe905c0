#!/usr/bin/env bash
# Makes the demo time table data/liste.xls from tools/demo-table.csv, and the
# empty table a new event starts from, data/template/liste.xls, from
# tools/template-table.csv (the demo's header rows, no runners, no presets).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build -j2 --target csv2xls >/dev/null
build/tools/csv2xls tools/demo-table.csv data/liste.xls
echo "wrote data/liste.xls"
mkdir -p data/template
build/tools/csv2xls tools/template-table.csv data/template/liste.xls
echo "wrote data/template/liste.xls"
