#!/usr/bin/env python3
"""Fills the seed corpora of the fuzz targets from the reader's test workbooks.

    python3 fuzz/corpus/make_seeds.py

fuzz_reader gets the small workbooks (and text tables) whole; fuzz_xlsb_part the parts of the binary
ones; fuzz_workbook_part gets their sheet, shared-strings, styles and workbook parts, each after the
byte that makes the target put it back in that place; fuzz_ods_content gets the content.xml of the
OpenDocument ones. A few seeds were made by
hand and are kept beside them: a legacy workbook and a shared-strings part with lone surrogates
(the workbook is the one test_reader's loneSurrogates builds). fuzz_ods_content also keeps the small
inputs its fuzzing found. The merged ranges of merged_headings.* come with their parts; MERGED_SEEDS
adds ranges that overlap, repeat, run past the grid or cover it whole, and a merged cell in a row
repeated past the grid.
"""

import hashlib
import os
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "..", "tests", "data")
MAX_FILE = 11 * 1024
PARTS = ["xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml"]
# fuzz_xlsb_part's parts of a binary workbook, in the order of its selector byte.
XLSB_PARTS = ["xl/worksheets/sheet1.bin", "xl/sharedStrings.bin", "xl/styles.bin", "xl/workbook.bin"]


def write(target, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, hashlib.sha1(data).hexdigest()), "wb") as f:
        f.write(data)


NS = b'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
MERGED_SHEET = (b"<worksheet " + NS + b"><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"
                b"<mergeCells count=\"7\"><mergeCell ref=\"A1:XFD1048576\"/><mergeCell ref=\"B2:C3\"/>"
                b"<mergeCell ref=\"C3:B2\"/><mergeCell ref=\"B2:C3\"/><mergeCell ref=\"ZZZZ9:A1\"/>"
                b"<mergeCell ref=\"A1:A1\"/><mergeCell ref=\"A:B\"/></mergeCells></worksheet>")
MERGED_CONTENT = (b'<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
                  b'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
                  b'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"><office:body><office:spreadsheet>'
                  b'<table:table table:name="H"><table:table-row table:number-rows-repeated="1048577">'
                  b'<table:table-cell table:number-columns-spanned="16385" table:number-rows-spanned="4294967295" '
                  b'table:number-columns-repeated="3"><text:p>x </text:p></table:table-cell>'
                  b'<table:covered-table-cell table:number-columns-repeated="16384"/></table:table-row>'
                  b'</table:table></office:spreadsheet></office:body></office:document-content>')


def main():
    write("fuzz_workbook_part", bytes([0]) + MERGED_SHEET)
    write("fuzz_ods_content", MERGED_CONTENT)
    for name in sorted(os.listdir(DATA)):
        path = os.path.join(DATA, name)
        if name.endswith(".xlsb"):
            # Every sheet of a binary workbook, whatever the file's size.
            with zipfile.ZipFile(path) as z:
                for index, part in enumerate(XLSB_PARTS):
                    for member in [part] + (sorted(n for n in z.namelist() if n.endswith(".bin") and "worksheets/" in n)
                                            if index == 0 else []):
                        try:
                            data = z.read(member)
                        except KeyError:
                            continue
                        if len(data) <= 8192:
                            write("fuzz_xlsb_part", bytes([index]) + data)
        if name.endswith(".ods"):
            with zipfile.ZipFile(path) as z:
                text = z.read("content.xml")
            if len(text) <= 16 * 1024:
                write("fuzz_ods_content", text)
        if not name.endswith((".xls", ".xlsx", ".xlsm", ".xlsb", ".ods", ".csv", ".txt")) or os.path.getsize(path) > MAX_FILE:
            continue
        with open(path, "rb") as f:
            data = f.read()
        write("fuzz_reader", data)
        if not zipfile.is_zipfile(path):
            continue
        with zipfile.ZipFile(path) as z:
            for index, part in enumerate(PARTS):
                try:
                    text = z.read(part)
                except (KeyError, zipfile.BadZipFile, Exception):
                    continue
                if len(text) <= 4096:
                    write("fuzz_workbook_part", bytes([index]) + text)


if __name__ == "__main__":
    main()
