#!/usr/bin/env bash
# Writes the LibreOffice copies of the fixtures (run after make_fixtures.py): the invoice as .xlsx
# and .xls, .xls copies of the formula, date, hidden-sheet, long-text and number sheets, the .xls
# invoice under an .xlsx name, a cut .xls, and both invoice formats saved with the password "clave". Needs LibreOffice Calc and its Python bridge on this machine
# only (Debian: libreoffice-calc-nogui python3-uno); the tests use the committed files.
set -euo pipefail
source "$(dirname "$0")/fixture_tools.sh"
convert invoice_xlsxwriter.xlsx 'xlsx:Calc MS Excel 2007 XML' invoice_libreoffice.xlsx
convert invoice_xlsxwriter.xlsx 'xls:MS Excel 97' invoice_libreoffice.xls
convert formulas.xlsx 'xls:MS Excel 97' formulas.xls
convert dates.xlsx 'xls:MS Excel 97' dates.xls
convert hidden_first.xlsx 'xls:MS Excel 97' hidden_first.xls
convert long_texts.xlsx 'xls:MS Excel 97' long_texts.xls
convert numbers.xlsx 'xls:MS Excel 97' numbers.xls
convert dates1904.xlsx 'xls:MS Excel 97' dates1904.xls
cp invoice_libreoffice.xls xls_named.xlsx
head -c 6000 invoice_libreoffice.xls > truncated.xls

# Password-protected copies through the UNO bridge.
soffice "$profile" --headless --invisible --norestore \
    --accept="pipe,name=planexo_fixtures;urp;" >/dev/null 2>&1 &
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
        ctx = resolver.resolve("uno:pipe,name=planexo_fixtures;urp;StarOffice.ComponentContext")
        break
    except Exception:
        time.sleep(1)
else:
    sys.exit("LibreOffice did not start")
desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(here + "/invoice_xlsxwriter.xlsx"), "_blank", 0,
                                   props(Hidden=True))
ooxml_key = uno.Any("[]com.sun.star.beans.NamedValue", (
    uno.createUnoStruct("com.sun.star.beans.NamedValue", "OOXPassword", "clave"),
    uno.createUnoStruct("com.sun.star.beans.NamedValue", "CryptoType", "Standard")))
doc.storeToURL(uno.systemPathToFileUrl(here + "/protected.xlsx"),
               props(FilterName="Calc MS Excel 2007 XML", EncryptionData=ooxml_key))
# storeAsURL: the binary filter encrypts only when the document itself is stored.
doc.storeAsURL(uno.systemPathToFileUrl(here + "/protected.xls"),
               props(FilterName="MS Excel 97", Password="clave"))
doc.close(True)
try:
    desktop.terminate()
except Exception:
    pass
PY
kill "$office" 2>/dev/null || true
wait "$office" 2>/dev/null || true
