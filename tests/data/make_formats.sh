#!/usr/bin/env bash
# Writes the OpenDocument and delimited-text fixtures of test_formats from the workbooks that
# make_fixtures.py writes, with LibreOffice Calc (Debian: libreoffice-calc-nogui), gnumeric's
# ssconvert (Debian: gnumeric) and openpyxl (Debian: python3-openpyxl). The tests use the committed
# files. The values the tests expect were checked against a second reader, SheetJS (`npm install
# xlsx` in a temporary folder):
#   node -e 'const X=require("xlsx");const w=X.readFile(process.argv[1]);
#            console.log(JSON.stringify(X.utils.sheet_to_json(w.Sheets[w.SheetNames[0]],{header:1,raw:true})))' f.ods
# and against Python's csv module for the text files. SheetJS 0.18 reads every cell of the .ods
# fixtures as the tests expect but three kinds: LibreOffice's boolean formula results (it gives 1 and
# 0: LibreOffice stores them as numbers with TRUE or FALSE as their text, and Excel recalculates them
# to booleans), error cells (it gives their texts: Excel recalculates them to errors), and a literal
# "_x000D_" in a text (it decodes it, an escape of the .xlsx format that .ods does not have).
set -euo pipefail
source "$(dirname "$0")/fixture_tools.sh"

# A sheet of the texts a delimited file must keep: delimiters, quotes and line breaks inside fields,
# codes with leading zeros, long codes, numbers written with group separators.
/usr/bin/python3 - "$work/text_cases.xlsx" <<'PY'
import sys
import openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Casos"
ws.append(["Codigo", "Descripcion", "Cantidad", "Nota"])
ws.append(["00123", "Tornillo; con punto y coma", 10, 'Dijo "hola"'])
ws.append(["0456", "Tuerca, con coma", 2.5, "línea 1\nlínea 2"])
ws.append(["1234567890123456789", "Código largo", -3, "  blancos  "])
ws.append(["7318.15.00", "NCM con puntos", 1234567.5, ""])
ws.append(["A-1", "Ñandú «comillas»", 0, "fin"])
wb.save(sys.argv[1])
PY

# OpenDocument: the invoice by both programs, formulas with errors and booleans, dates, strings,
# a hidden first sheet.
convert invoice_xlsxwriter.xlsx ods invoice_libreoffice.ods
ssconvert invoice_xlsxwriter.xlsx invoice_gnumeric.ods 2>/dev/null
convert formulas.xlsx ods formulas_libreoffice.ods
ssconvert formulas.xlsx formulas_gnumeric.ods 2>/dev/null
convert dates.xlsx ods dates.ods
convert strings.xlsx ods strings.ods
convert hidden_first.xlsx ods hidden_first.ods
convert "$work/text_cases.xlsx" ods text_cases.ods

# Cells that repeat: LibreOffice writes equal neighbouring cells of a row once with a count.
/usr/bin/python3 - "$work/repeated.xlsx" <<'PY'
import sys
import openpyxl
wb = openpyxl.Workbook()
ws = wb.active
ws.append(["Codigo", "A", "B", "C"])
ws.append(["X", "X", "X", 1])
ws.append([1, 1, 1, "Y"])
wb.save(sys.argv[1])
PY
convert "$work/repeated.xlsx" ods repeated_cells.ods

# Delimited text, as LibreOffice exports it: ';' and UTF-8 from a Spanish (Argentina) locale, ',' and
# tab from an English (United States) one, Windows-1252 and UTF-16.
convert invoice_xlsxwriter.xlsx 'csv:Text - txt - csv (StarCalc):59,34,76,1' invoice_semicolon.csv es_AR.UTF-8
convert invoice_xlsxwriter.xlsx 'csv:Text - txt - csv (StarCalc):44,34,76,1' invoice_comma.csv
convert invoice_xlsxwriter.xlsx 'csv:Text - txt - csv (StarCalc):9,34,76,1' "$work/invoice_tab.csv"
mv "$work/invoice_tab.csv" invoice_tab.txt
convert invoice_xlsxwriter.xlsx 'csv:Text - txt - csv (StarCalc):59,34,1,1' invoice_1252.csv es_AR.UTF-8
convert invoice_xlsxwriter.xlsx 'csv:Text - txt - csv (StarCalc):59,34,65535,1' invoice_utf16.csv es_AR.UTF-8
convert "$work/text_cases.xlsx" 'csv:Text - txt - csv (StarCalc):59,34,76,1' text_cases.csv es_AR.UTF-8
convert "$work/text_cases.xlsx" 'csv:Text - txt - csv (StarCalc):44,34,76,1' text_cases_comma.csv

# Files that are no workbook, both by LibreOffice: a PDF, and the PNG thumbnail it keeps in an .ods.
convert "$work/text_cases.xlsx" pdf not_a_workbook.pdf
# Documents of the other office programs (Debian: libreoffice-writer-nogui, libreoffice-impress-nogui):
# Word's old and new formats, a PowerPoint presentation, OpenDocument text and slides.
printf 'Factura de prueba\n' > "$work/not_a_workbook.txt"
convert "$work/not_a_workbook.txt" doc not_a_workbook.doc
convert "$work/not_a_workbook.txt" docx not_a_workbook.docx
convert "$work/not_a_workbook.txt" odt not_a_workbook.odt
convert not_a_workbook.odt 'pptx:Impress MS PowerPoint 2007 XML' not_a_workbook.pptx
convert not_a_workbook.pptx odp not_a_workbook.odp
unzip -p text_cases.ods Thumbnails/thumbnail.png > not_a_workbook.png

# The invoice saved as .ods with the password "clave", through LibreOffice's UNO bridge (Debian:
# python3-uno).
soffice "$profile" --headless --invisible --norestore \
    --accept="pipe,name=planexo_formats;urp;" >/dev/null 2>&1 &
office=$!
/usr/bin/python3 - "$PWD" <<'PY'
import sys, time, uno
from com.sun.star.beans import PropertyValue

def props(**kw):
    out = []
    for k, v in kw.items():
        p = PropertyValue(); p.Name = k; p.Value = v; out.append(p)
    return tuple(out)

here = sys.argv[1]
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
for _ in range(60):
    try:
        ctx = resolver.resolve("uno:pipe,name=planexo_formats;urp;StarOffice.ComponentContext")
        break
    except Exception:
        time.sleep(1)
else:
    sys.exit("LibreOffice did not start")
desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(here + "/invoice_libreoffice.ods"), "_blank", 0,
                                   props(Hidden=True))
doc.storeToURL(uno.systemPathToFileUrl(here + "/protected.ods"), props(FilterName="calc8", Password="clave"))
doc.close(True)
try:
    desktop.terminate()
except Exception:
    pass
PY
kill "$office" 2>/dev/null || true
wait "$office" 2>/dev/null || true

# Rows the streamed load takes whole and rows it takes cell by cell, side by side, as Python's csv
# module writes them (';', CR LF, quotes only where needed): plain numbers and texts; numbers not
# written as the grid writes them (group separators, a sign, trailing zeros, an exponent, blanks);
# doubled quotes and a CR LF inside quotes; more fields than headings; an empty row that ends the
# data, and a row after it.
/usr/bin/python3 - mixed_rows.csv <<'PY'
import csv, sys
rows = [
    ["Codigo", "Descripcion", "Cantidad", "Precio", "Nota"],
    ["A-1", "Tornillo", "10", "0,25", "simple"],
    ["A-2", "Tuerca; con punto y coma", "2", "1234,5", ""],
    ["A-3", "Arandela", "1.234,50", "+5", "1,50"],
    ["007", 'Dijo "hola"', "3", "12", "x"],
    ["A-5", "línea 1\r\nlínea 2", "4", "1e3", " 7 "],
    ["A-6", "Clavo", "-3", "0,001", "extra", "más", ""],
    ["A-7", "", "", "", "", ""],
    ["A-8", "Perno", "8400.10.00", "2023/03/15", "-0"],
    [],
    ["A-9", "después del vacío", "1", "2", "3"],
]
with open(sys.argv[1], "w", newline="", encoding="utf-8") as f:
    csv.writer(f, delimiter=";").writerows(rows)
PY
