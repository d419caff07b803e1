#!/usr/bin/env bash
# Writes the binary (.xlsb) and macro-enabled (.xlsm) fixtures of the reader tests:
#
#   tests/data/make_xlsb_fixtures.sh      (node and npm, LibreOffice Calc; run after make_fixtures.py)
#
# - invoice.xlsb: the npm `xlsx` package (SheetJS) writes three worksheets: "Factura" (the invoice of
#   make_fixtures.py, shared strings, dates in a custom format), "Oculta" (hidden) and "Valores"
#   (booleans, error values, texts and numbers of every kind).
# - invoice_inline.xlsb: the same without a shared-string table (texts in the cells).
# - long.xlsb: 12,000 rows whose sheet and shared-string parts are longer than the piece the reader
#   inflates at a time.
# - formulas.xlsb: invoice.xlsb with cells of "Valores" row 3 turned into formula cells holding the
#   same cached values, some numbers of "Factura" into Excel's compact RK forms, a shared string
#   into a rich one with runs, the text cell D1 of "Valores" into a rich text cell, and the 1904
#   date system switched on (no producer here writes
#   formulas, RK forms other than small integers, runs or the 1904 flag into .xlsb: this script
#   edits the records of SheetJS's file).
# - invoice_libreoffice.xlsm: LibreOffice's macro-enabled copy of invoice_xlsxwriter.xlsx (openpyxl
#   reads the same invoice from it).
#
# LibreOffice reads every .xlsb back (second reader) and this script prints what it read as CSV;
# the tests' expected texts are those values.
set -euo pipefail
source "$(dirname "$0")/fixture_tools.sh"

NODE_PATH=$(npm_xlsx) node - "$PWD" <<'JS'
const XLSX = require('xlsx');
const path = require('path');
const out = process.argv[2];
const serial = (y, m, d) => (Date.UTC(y, m - 1, d) - Date.UTC(1899, 11, 30)) / 86400000;
const date = (y, m, d) => ({t: 'n', v: serial(y, m, d), z: 'dd/mm/yyyy'});
const err = (code) => ({t: 'e', v: code});

const invoice = [
  ["Codigo", "Descripcion", "Cantidad", "Total", "NCM", "Origen", "Fecha"],
  ["A-100", "Tornillo de acero inoxidable", 100, 1234.5, "7318.15.00", "China", date(2024, 1, 15)],
  ["B-200", 'Válvula 1/2" de bronce', 25, 890.25, "8481.80.99", "Alemania", date(2024, 2, 29)],
  ["C-300", "Muñeco de acción «Ñandú»", 3, 15.75, "9503.00.99", "España", date(2023, 12, 31)],
  [4711, "Bomba centrífuga", 1, 99999.99, "8413.70.10", "Italia", date(2024, 3, 1)],
  ["D-500", "Cable 'unipolar' 2,5 mm", 1500, 1234567.891, "8544.49.00", "Brasil", date(2024, 6, 30)],
  ["E-600", "Caño de PVC", 12, 7, "3917.23.00", "Brasil", date(2024, 7, 1)],
  ["F-700", "Llave térmica", 0.5, -12.5, "8536.20.00", "Japón", date(2024, 12, 24)],
  ["G-800", "  Resistencia con blancos  ", 2, 0.001, "8533.21.20", "Estados Unidos", date(2025, 1, 2)],
];
const values = [
  [true, false, "línea 1\nlínea 2", "😀 ñ", "", 1e-7, 123456789012345678, -0.001],
  [err(0x2A), err(0x07), err(0x0F), err(0x17), err(0x1D), err(0x24), err(0x00)],
  [3, "abc", "abc", true, err(0x2A), date(2024, 1, 15), -7, 0.125],
  [],
  ["después de una fila vacía"],
];

function book() {
  const wb = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet(invoice), "Factura");
  XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet([["hoja oculta"]]), "Oculta");
  XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet(values), "Valores");
  wb.Workbook = {Sheets: [{Hidden: 0}, {Hidden: 1}, {Hidden: 0}]};
  return wb;
}
XLSX.writeFile(book(), path.join(out, "invoice.xlsb"), {bookSST: true});
// Parts longer than the reader's piece of 256 KiB, so that records straddle two pieces.
// "Valor" puts a record header of the shared strings across the first piece's end.
const long = [["Codigo", "Descripcion", "Valor", "Cantidad"]];
for (let i = 1; i <= 12000; ++i)
  long.push(["ART-" + (100000 + i), "Artículo de la lista larga " + (i % 4), (i % 8) * 0.25 + 0.5, i % 10]);
const longBook = XLSX.utils.book_new();
XLSX.utils.book_append_sheet(longBook, XLSX.utils.aoa_to_sheet(long), "Larga");
XLSX.writeFile(longBook, path.join(out, "long.xlsb"), {bookSST: true, compression: true});
XLSX.writeFile(book(), path.join(out, "invoice_inline.xlsb"), {bookSST: false});
JS

/usr/bin/python3 - "$PWD" <<'PY'
import io, struct, sys, zipfile

here = sys.argv[1]

def records(data):
    at = 0
    while at < len(data):
        start = at
        rtype = data[at]; at += 1
        if rtype & 0x80:
            rtype = (rtype & 0x7F) | ((data[at] & 0x7F) << 7); at += 1
        size = 0
        for shift in (0, 7, 14, 21):
            b = data[at]; at += 1
            size |= (b & 0x7F) << shift
            if not b & 0x80:
                break
        yield rtype, data[at:at + size], data[start:at + size]
        at += size

def record(rtype, payload):
    head = bytes([rtype]) if rtype < 0x80 else bytes([(rtype & 0x7F) | 0x80, rtype >> 7])
    size, sizes = len(payload), b""
    while True:
        b = size & 0x7F; size >>= 7
        sizes += bytes([b | (0x80 if size else 0)])
        if not size:
            break
    return head + sizes + payload

def rk(value):
    """Excel's compact forms: an integer, an integer of hundredths, a double's upper 30 bits."""
    if value == int(value):
        return struct.pack("<i", (int(value) << 2) | 2)
    if round(value * 100) == value * 100:
        return struct.pack("<i", (int(round(value * 100)) << 2) | 3)
    bits = struct.unpack("<Q", struct.pack("<d", value))[0]
    assert bits & 0xFFFFFFFF == 0
    return struct.pack("<I", bits >> 32)

def cell_col(payload):
    return struct.unpack_from("<I", payload, 0)[0]

PTG_ADD = bytes([0x1E, 1, 0, 0x1E, 2, 0, 0x03])          # 1+2
PTG_REF_C3 = bytes([0x24]) + struct.pack("<IH", 2, 2)    # $C$3
PTG_TRUE = bytes([0x1D, 1])                              # TRUE
PTG_NA = bytes([0x1C, 0x2A])                             # #N/A
PTG_DATE = bytes([0x1E]) + struct.pack("<H", 45306)      # 45306

def formula(rgce):
    return struct.pack("<H", 0) + struct.pack("<I", len(rgce)) + rgce + struct.pack("<I", 0)

def sheet_values(data):
    """Row 3 of "Valores" as formulas with their cached values."""
    out, row, col = b"", -1, -1
    for rtype, payload, raw in records(data):
        if rtype == 0x00:
            row = struct.unpack_from("<I", payload, 0)[0]
            col = -1
        elif 1 <= rtype <= 0x0B:
            col = cell_col(payload)
        elif 0x0C <= rtype <= 0x12:
            col += 1
            # As a full cell record, to put the formula's column in it.
            payload = struct.pack("<I", col) + payload
            rtype -= 11
        if row == 2 and 1 <= rtype <= 0x0B:
            cell = payload[:8]
            if col == 0:
                raw = record(0x09, cell + struct.pack("<d", 3) + formula(PTG_ADD))
            elif col == 1:
                raw = record(0x08, cell + struct.pack("<I", 3) + "abc".encode("utf-16-le") + formula(PTG_REF_C3))
            elif col == 3:
                raw = record(0x0A, cell + b"\x01" + formula(PTG_TRUE))
            elif col == 4:
                raw = record(0x0B, cell + b"\x2A" + formula(PTG_NA))
            elif col == 5:
                raw = record(0x09, cell + struct.pack("<d", 45306) + formula(PTG_DATE))
            elif col == 7:
                raw = record(0x02, cell + rk(struct.unpack_from("<d", payload, 8)[0]))
            else:
                raw = record(rtype, payload)
        elif row == 0 and col == 3 and rtype == 0x07:
            # D1's shared string as a rich text of its own, with one formatting run.
            text = "\U0001F600 \u00f1".encode("utf-16-le")
            raw = record(0x3E, payload[:8] + b"\x01" + struct.pack("<I", len(text) // 2) + text +
                         struct.pack("<IHH", 1, 0, 1))
        elif 1 <= rtype <= 0x12:
            raw = record(rtype, payload)
        out += raw
    return out

def sheet_invoice(data):
    """Real numbers that fit them in RK forms (full cell records)."""
    out, col = b"", -1
    for rtype, payload, raw in records(data):
        if rtype == 0x00:
            col = -1
        elif 1 <= rtype <= 0x0B:
            col = cell_col(payload)
        elif 0x0C <= rtype <= 0x12:
            col += 1
        if rtype in (0x05, 0x10):
            full = payload if rtype == 0x05 else struct.pack("<I", col) + payload
            value = struct.unpack_from("<d", full, 8)[0]
            try:
                raw = record(0x02, full[:8] + rk(value))
            except AssertionError:
                pass
        out += raw
    return out

def rich_strings(data):
    """The first shared string with two formatting runs and a phonetic flag left off."""
    out, done = b"", False
    for rtype, payload, raw in records(data):
        if rtype == 0x13 and not done:
            done = True
            raw = record(0x13, b"\x01" + payload[1:] + struct.pack("<I", 2) + struct.pack("<HHHH", 0, 1, 3, 2))
        out += raw
    return out

def date1904(data):
    out = b""
    for rtype, payload, raw in records(data):
        if rtype == 0x99:
            raw = record(0x99, struct.pack("<I", struct.unpack_from("<I", payload, 0)[0] | 1) + payload[4:])
        out += raw
    return out

# SheetJS's own deflate barely compresses: long.xlsb's parts are recompressed as they are.
buf = io.BytesIO()
with zipfile.ZipFile(f"{here}/long.xlsb") as zin, zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as zout:
    for info in zin.infolist():
        zout.writestr(info, zin.read(info.filename), compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
with open(f"{here}/long.xlsb", "wb") as f:
    f.write(buf.getvalue())

edits = {"xl/worksheets/sheet1.bin": sheet_invoice, "xl/worksheets/sheet3.bin": sheet_values,
         "xl/sharedStrings.bin": rich_strings, "xl/workbook.bin": date1904}
buf = io.BytesIO()
with zipfile.ZipFile(f"{here}/invoice.xlsb") as zin, zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as zout:
    for info in zin.infolist():
        data = zin.read(info.filename)
        zout.writestr(info.filename, edits.get(info.filename, lambda d: d)(data))
with open(f"{here}/formulas.xlsb", "wb") as f:
    f.write(buf.getvalue())
PY

soffice "$profile" --headless --convert-to 'xlsm:Calc MS Excel 2007 VBA XML' --outdir "$work/out" \
    invoice_xlsxwriter.xlsx >/dev/null
mv "$work/out/invoice_xlsxwriter.xlsm" invoice_libreoffice.xlsm

# The second reader: every worksheet of each .xlsb as LibreOffice reads it.
for book in invoice invoice_inline formulas long; do
    soffice "$profile" --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' \
        --outdir "$work/csv" "$book.xlsb" >/dev/null
    for csv in "$work/csv/$book"*.csv; do
        echo "== $(basename "$csv")"
        cat "$csv"
    done
done
