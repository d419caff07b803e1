#!/usr/bin/python3
"""Writes the Office Open XML fixtures that bend the package the way Excel tolerates:

    /usr/bin/python3 tests/data/make_ooxml_fixtures.py     (python3-xlsxwriter, python3-openpyxl)

- dates1904_excel2013.xlsx: a 1904-system workbook written by xlsxwriter (date_1904), with the
  extension element Excel 2013 and later write into every workbook.xml added by this script (no
  producer on this machine writes it): <extLst><ext uri="{140A7551-...}"><x15:workbookPr .../>.
  openpyxl reads A2:D2 as 2024-01-15, 2024-02-29 14:30, time 00:00 (serial 0, which it takes for
  a bare time; in the 1904 system it is 1 January 1904) and 1234.5.
- backslash_names.xlsx: the xlsxwriter invoice with every zip entry renamed to use backslashes
  (xl\\workbook.xml), as some zip libraries on Windows write them (Excel reads it; openpyxl 3.0.9
  refuses it: "There is no item named 'xl/sharedStrings.xml' in the archive").
- empty_shared_value.xlsx: the xlsxwriter invoice with its first data cell's shared-string value
  emptied (<c t="s"><v/></c>); openpyxl reads A2 as empty (None) and the rest as the invoice.

The .xlsm and .xlsb fixtures come from make_xlsb_fixtures.sh.
"""

import datetime
import io
import os
import re
import zipfile

import openpyxl
import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


X15_EXT = (
    '<extLst><ext uri="{140A7551-FBA0-4A1C-8F34-F6C3F2E7B0A0}" '
    'xmlns:x15="http://schemas.microsoft.com/office/spreadsheetml/2010/11/main">'
    '<x15:workbookPr chartTrackingRefBase="1"/></ext></extLst>'
)


def rewrite(source, target, edit):
    """Copies a package, each part through edit(name, bytes) -> (name, bytes)."""
    out = io.BytesIO()
    with zipfile.ZipFile(source) as zin, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as zout:
        for info in zin.infolist():
            name, data = edit(info.filename, zin.read(info.filename))
            zout.writestr(name, data)
    with open(target, "wb") as f:
        f.write(out.getvalue())


def dates1904():
    source = path("dates1904_xlsxwriter.tmp.xlsx")
    wb = xlsxwriter.Workbook(source, {"date_1904": True})
    ws = wb.add_worksheet("Fechas")
    date = wb.add_format({"num_format": "dd/mm/yyyy"})
    stamp = wb.add_format({"num_format": "dd/mm/yyyy hh:mm"})
    ws.write_row(0, 0, ["Fecha", "Hora", "Inicio", "Importe"])
    ws.write_datetime(1, 0, datetime.datetime(2024, 1, 15), date)
    ws.write_datetime(1, 1, datetime.datetime(2024, 2, 29, 14, 30), stamp)
    ws.write_datetime(1, 2, datetime.datetime(1904, 1, 1), date)
    ws.write_number(1, 3, 1234.5)
    wb.close()

    def edit(name, data):
        if name == "xl/workbook.xml":
            text = data.decode("utf-8")
            assert 'date1904="1"' in text
            data = text.replace("</workbook>", X15_EXT + "</workbook>").encode("utf-8")
        return name, data

    rewrite(source, path("dates1904_excel2013.xlsx"), edit)
    os.remove(source)
    # The second reader's view of the same file.
    ws = openpyxl.load_workbook(path("dates1904_excel2013.xlsx")).active
    print("openpyxl:", [ws.cell(2, c).value for c in range(1, 5)])


def backslashes():
    rewrite(path("invoice_xlsxwriter.xlsx"), path("backslash_names.xlsx"),
            lambda name, data: (name.replace("/", "\\"), data))


def empty_shared_value():
    def edit(name, data):
        if name == "xl/worksheets/sheet1.xml":
            text = data.decode("utf-8")
            # A2's shared string emptied.
            text, n = re.subn(r'<c r="A2"( [^>]*)? t="s"><v>\d+</v></c>', r'<c r="A2"\1 t="s"><v/></c>', text)
            assert n == 1
            data = text.encode("utf-8")
        return name, data

    rewrite(path("invoice_xlsxwriter.xlsx"), path("empty_shared_value.xlsx"), edit)


def main():
    dates1904()
    backslashes()
    empty_shared_value()


if __name__ == "__main__":
    main()
