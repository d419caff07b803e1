#!/usr/bin/env bash
# Writes merged_headings.* for the merged-range tests: an invoice whose headings sit on two rows with
# merged cells ("Código", "Descripción" and "Origen" merged down, "PRECIO (USD)" across the two
# price columns, a note merged over two rows and columns) and a description whose text ends in a
# blank. openpyxl writes the .xlsx (ws.merge_cells); LibreOffice converts it to .ods and .xls (Excel
# 97); gnumeric's ssconvert to .ods; the npm package xlsx (SheetJS) to .xlsb, as LibreOffice 7.4
# writes no .xlsb (it reads them only). Needs python3-openpyxl, libreoffice-calc-nogui, gnumeric,
# node and npm on this machine only; the tests use the committed files. Each copy is read back by
# LibreOffice as CSV at the end (second reader).
set -euo pipefail
source "$(dirname "$0")/fixture_tools.sh"

/usr/bin/python3 - merged_headings.xlsx <<'PY'
import sys
import openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Factura"
ws.append(["Código", "Descripción", "PRECIO (USD)", None, "Origen", "Nota"])
ws.append([None, None, "P. Unit.", "Total", None, None])
ws.append(["A-1", "Tornillo ", 1.5, 15, "AR"])
ws.append(["B-2", "Tuerca", 0.25, 5, "CN"])
for cells in ("A1:A2", "B1:B2", "C1:D1", "E1:E2", "F1:G2"):
    ws.merge_cells(cells)
wb.save(sys.argv[1])
PY
convert merged_headings.xlsx ods merged_headings.ods
convert merged_headings.xlsx 'xls:MS Excel 97' merged_headings.xls
ssconvert merged_headings.xlsx merged_headings_gnumeric.ods 2>/dev/null
NODE_PATH=$(npm_xlsx) node -e '
const XLSX = require("xlsx");
XLSX.writeFile(XLSX.readFile("merged_headings.xlsx"), "merged_headings.xlsb", {bookSST: true});'
for f in merged_headings.xlsx merged_headings.ods merged_headings.xls merged_headings_gnumeric.ods merged_headings.xlsb; do
    echo "== $f"
    cp "$f" "$work/check.${f##*.}"
    soffice "$profile" --headless --convert-to "csv:Text - txt - csv (StarCalc):44,34,76" --outdir "$work/csv" "$work/check.${f##*.}" >/dev/null 2>&1
    cat "$work/csv/check.csv"
done
