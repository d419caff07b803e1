#!/usr/bin/env bash
# Writes the legacy-workbook fixtures of test_xls (run after make_fixtures.py and make_libreoffice.sh,
# whose workbooks it converts). Needs, on this machine only (the tests use the committed files):
# gnumeric (ssconvert), LibreOffice Calc with its Python bridge (libreoffice-calc-nogui python3-uno),
# python3-openpyxl, python3-xlrd, Apache POI (libapache-poi-java default-jdk-headless), node with the
# npm package xlsx (installed into a temporary folder).
#
#   biff5_*_gnumeric.xls   ssconvert's Excel 95 (BIFF7) copies of the reader's workbooks; cyrillic in
#                          code page 1251 (ssconvert writes its locale's code page)
#   biff5_npm.xls          the npm xlsx package's Excel 5.0 writer: three sheets, the second hidden
#   excel2/3/4_npm.xls     the same package's Excel 2.x, 3.0 and 4.0 writers (no compound file)
#   velvet_libreoffice.xls LibreOffice's copy of the invoice encrypted with Excel's default password
#                          (LibreOffice writes RC4 with the MD5-based key, version 1.1)
#   velvet_poi.xls         Apache POI's copy of invoice_libreoffice.xls encrypted with the default
#                          password (POI writes RC4 CryptoAPI with a 40-bit key); protected_poi.xls
#                          the same with the password "clave" (libapache-poi-java, default-jdk-headless)
#   velvet_cryptoapi.xls   numbers.xls encrypted with RC4 CryptoAPI and a 128-bit key by
#                          make_xls_damage.py (no tool here writes it); LibreOffice reads it back
#                          below as a check
#   short_sector.xls, sst_*.xls, biff5_cut.xls   damaged copies, made by make_xls_damage.py
#
# xlrd's reading of every BIFF5 copy is printed at the end: the test's expected values are these.
set -euo pipefail
source "$(dirname "$0")/fixture_tools.sh"
PY=/usr/bin/python3

# Sources that no earlier script writes.
"$PY" - "$work" <<'PY'
import sys, openpyxl
work = sys.argv[1]
wb = openpyxl.Workbook(); ws = wb.active; ws.title = "Textos"
for row in [["Precio €", "“comillas”", "guión – y —"], ["Œuvre ™ ‰", "Ñandú ¿sí?", "‘simple’ • …"]]:
    ws.append(row)
wb.save(work + "/texts1252.xlsx")
wb = openpyxl.Workbook(); ws = wb.active; ws.title = "Лист"
ws.append(["Код", "Описание", "Количество"])
ws.append(["А-1", "Болт стальной", 100])
ws.append(["Б-2", "Гайка «М8»", 2.5])
wb.save(work + "/cyrillic.xlsx")
PY

biff7() { # source, target
    ssconvert --export-type=Gnumeric_Excel:excel_biff7 "$1" "$2" 2>/dev/null
}
biff7 invoice_xlsxwriter.xlsx biff5_invoice_gnumeric.xls
biff7 formulas.xlsx biff5_formulas_gnumeric.xls
biff7 dates.xlsx biff5_dates_gnumeric.xls
biff7 dates1904.xlsx biff5_dates1904_gnumeric.xls
biff7 hidden_first.xlsx biff5_hidden_first_gnumeric.xls
biff7 numbers.xlsx biff5_numbers_gnumeric.xls
biff7 "$work/texts1252.xlsx" biff5_texts1252_gnumeric.xls
# ssconvert writes the code page of its locale; the locale is built for this run only.
mkdir -p "$work/locale"
localedef -i ru_RU -f UTF-8 "$work/locale/ru_RU.UTF-8"
env LOCPATH="$work/locale" LC_ALL=ru_RU.UTF-8 ssconvert --export-type=Gnumeric_Excel:excel_biff7 \
    "$work/cyrillic.xlsx" biff5_cyrillic_gnumeric.xls 2>/dev/null

# The npm xlsx package's writers.
NODE_PATH=$(npm_xlsx) node - "$PWD" <<'JS'
const XLSX = require('xlsx');
const here = process.argv[2];
const ws = XLSX.utils.aoa_to_sheet([
  ['Codigo', 'Cantidad', 'Activo', 'Fecha', 'Error', 'Formula'],
  ['A-100', 1234.5, true, new Date(Date.UTC(2024, 0, 15)), null, null],
  ['B-200', -7, false, new Date(Date.UTC(2024, 1, 29)), null, null],
  ['00123', 0.001, true, new Date(Date.UTC(2023, 11, 31)), null, null],
], {cellDates: true});
ws['E2'] = {t: 'e', v: 0x2A};
ws['E3'] = {t: 'e', v: 0x07};
ws['F2'] = {t: 'n', v: 1235.5, f: 'B2+1'};
ws['F3'] = {t: 's', v: 'texto', f: '"texto"'};
for (const c of ['D2', 'D3', 'D4']) ws[c].z = 'dd/mm/yyyy';
const wb = XLSX.utils.book_new();
XLSX.utils.book_append_sheet(wb, ws, 'Datos');
XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet([['segunda hoja', 2]]), 'Oculta');
XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet([['tercera', 3]]), 'Ultima');
wb.Workbook = {Sheets: [{Hidden: 0}, {Hidden: 1}, {Hidden: 0}]};
XLSX.writeFile(wb, here + '/biff5_npm.xls', {bookType: 'biff5'});
for (const n of [2, 3, 4]) XLSX.writeFile(wb, here + '/excel' + n + '_npm.xls', {bookType: 'biff' + n});
JS

# The invoice encrypted with Excel's default password, through LibreOffice's UNO bridge.
soffice "$profile" --headless --invisible --norestore --accept="pipe,name=planexo_xls;urp;" >/dev/null 2>&1 &
office=$!
"$PY" - "$PWD" <<'PY'
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
        ctx = resolver.resolve("uno:pipe,name=planexo_xls;urp;StarOffice.ComponentContext")
        break
    except Exception:
        time.sleep(1)
else:
    sys.exit("LibreOffice did not start")
desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(here + "/invoice_xlsxwriter.xlsx"), "_blank", 0,
                                   props(Hidden=True))
doc.storeAsURL(uno.systemPathToFileUrl(here + "/velvet_libreoffice.xls"),
               props(FilterName="MS Excel 97", Password="VelvetSweatshop"))
doc.close(True)
try:
    desktop.terminate()
except Exception:
    pass
PY
kill "$office" 2>/dev/null || true
wait "$office" 2>/dev/null || true

# RC4 CryptoAPI as Apache POI writes it.
mkdir -p "$work/poi"
cat > "$work/poi/Encrypt.java" <<'JAVA'
import java.io.FileInputStream;
import java.io.FileOutputStream;
import org.apache.poi.hssf.record.crypto.Biff8EncryptionKey;
import org.apache.poi.hssf.usermodel.HSSFWorkbook;

public class Encrypt {
    public static void main(String[] args) throws Exception {
        try (HSSFWorkbook wb = new HSSFWorkbook(new FileInputStream(args[0]))) {
            Biff8EncryptionKey.setCurrentUserPassword(args[2]);
            try (FileOutputStream out = new FileOutputStream(args[1])) {
                wb.write(out);
            }
        }
    }
}
JAVA
classpath=$(ls /usr/share/java/{poi,commons-collections4,commons-math3,commons-codec,commons-compress,commons-logging,log4j-1.2}.jar | tr '\n' ':')
javac -cp "$classpath" -d "$work/poi" "$work/poi/Encrypt.java"
java -cp "$classpath$work/poi" Encrypt invoice_libreoffice.xls velvet_poi.xls VelvetSweatshop
java -cp "$classpath$work/poi" Encrypt invoice_libreoffice.xls protected_poi.xls clave

# RC4 CryptoAPI with a 128-bit key and the damaged copies.
"$PY" make_xls_damage.py

# LibreOffice opens the 128-bit CryptoAPI copy without a password, as Excel does, and reads the
# same cells as from the plain workbook (it reads no 40-bit CryptoAPI workbook, POI's included).
for f in numbers velvet_cryptoapi; do
    soffice "$profile" --headless --convert-to csv --outdir "$work/csv" "$f.xls" >/dev/null 2>&1
done
cmp "$work/csv/numbers.csv" "$work/csv/velvet_cryptoapi.csv" && echo "LibreOffice reads velvet_cryptoapi.xls as numbers.xls"

# What xlrd reads from the BIFF5 copies (cell type, value).
"$PY" - <<'PY'
import glob, xlrd
for name in sorted(glob.glob("biff5_*.xls")):
    try:
        book = xlrd.open_workbook(name)
    except Exception as e:
        print(name, "xlrd:", e)
        continue
    print(name, "biff", book.biff_version, "codepage", book.codepage, "datemode", book.datemode,
          [(s.name, s.visibility) for s in book.sheets()])
    sheet = book.sheet_by_index(0)
    for r in range(min(sheet.nrows, 12)):
        print("  ", [(c.ctype, c.value) for c in sheet.row(r)])
PY
