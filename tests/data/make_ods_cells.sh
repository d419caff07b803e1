#!/usr/bin/env bash
# Writes cells_gnumeric.ods and cells_libreoffice.ods, one sheet of the cells a shipment list holds
# (texts of every length up to 60 bytes with accents, quotes, '<', '&' and runs of blanks; whole and
# long decimal numbers, negative ones; dates; booleans; equal neighbouring cells and rows written
# again), each program importing the same .csv. No text ends in a blank (both programs write it as
# it is and keep it when they read it again, as ours does: merged_headings.ods has one); then
# cells_gnumeric.csv and cells_libreoffice.csv, the second reader's texts: gnumeric's ssconvert reading each .ods (Debian: gnumeric,
# libreoffice-calc-nogui). The tests use the committed files.
set -euo pipefail
source "$(dirname "$0")/fixture_tools.sh"

/usr/bin/python3 - "$work/cells.csv" <<'PY'
import csv, sys
words = ("Artículo de prueba número con descripción larga, ñandú «comillas» 'simples' \"dobles\" "
         "a<b & c>d; año 2024 / código ÀÉÎÕÜ").split(" ")
rows = [["Codigo", "Descripcion", "Cantidad", "Precio", "Total", "Razon", "Fecha", "Marca", "Igual", "Igual2"]]
for i in range(1, 161):
    text = " ".join(words[(i * 7 + k) % len(words)] for k in range(i % 9))[: i % 61].rstrip()
    if i % 17 == 0:
        text = "  " + text + "  con  blancos"
    if i % 23 == 0:
        text = ""
    qty = i * (1000003 if i % 11 == 0 else 1)
    price = round(i * 1.37, 2) * (-1 if i % 13 == 0 else 1)
    total = price * (i % 7 + 1) * 0.11
    ratio = 1 / (i + 3) + (i % 5) * 1e-4
    date = "20%02d-%02d-%02d" % (20 + i % 6, 1 + i % 12, 1 + i % 28)
    flag = ["TRUE", "FALSE", ""][i % 3]
    same = "X" if i % 2 else str(total)
    row = ["ART-%05d" % i, text, str(qty), repr(price), repr(total), repr(ratio), date, flag, same, same]
    rows.append(row)
    if i % 40 == 0:
        rows += [row] * 3
csv.writer(open(sys.argv[1], "w", newline="", encoding="utf-8")).writerows(rows)
PY

ssconvert "$work/cells.csv" cells_gnumeric.ods 2>/dev/null
LC_ALL=en_US.UTF-8 soffice "$profile" --headless --infilter="CSV:44,34,76,1" \
    --convert-to ods --outdir "$work/out" "$work/cells.csv" >/dev/null
mv "$work/out/cells.ods" cells_libreoffice.ods
ssconvert cells_gnumeric.ods cells_gnumeric.csv 2>/dev/null
ssconvert cells_libreoffice.ods cells_libreoffice.csv 2>/dev/null
