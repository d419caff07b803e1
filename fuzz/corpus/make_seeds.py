#!/usr/bin/env python3
"""Fills the seed corpora of the fuzz targets from the reader's test workbooks.

    python3 fuzz/corpus/make_seeds.py

fuzz_reader gets the small workbooks (and text tables) whole; fuzz_xlsb_part the parts of the binary
ones; fuzz_workbook_part gets their sheet, shared-strings, styles and workbook parts, each after the
byte that makes the target put it back in that place; fuzz_ods_content gets the content.xml of the
OpenDocument ones. A few seeds were made by
hand and are kept beside them: a legacy workbook and a shared-strings part with lone surrogates
(the workbook is the one test_reader's loneSurrogates builds). fuzz_ods_content also keeps the small
inputs its fuzzing found.
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


def main():
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
