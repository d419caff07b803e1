#!/usr/bin/env python3
"""Fills the seed corpora of the PDF reader's fuzz targets from the test invoices printed to PDF.

    python3 fuzz/corpus/make_pdf_seeds.py build/planexo-pdftext

fuzz_pdf_protocol gets the helper's output for each PDF of tests/data (a locked and a damaged one
included); fuzz_pdf_table gets the same words in its eight-byte records (page, x, y, width, height,
text), coordinates in quarters of a point, texts from its table by the word's kind.
"""

import hashlib
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "..", "tests", "data")
TEXTS = ["1.234,50", "1,234.50", "12", "4.25", "0117", "8205.20.00", "Total", "de", "CHINA", "-5", ",",
         ".", "A-1", "Código", "100", "12,5"]


def write(target, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, hashlib.sha1(data).hexdigest()), "wb") as f:
        f.write(data)


def kind(text):
    if text in TEXTS:
        return TEXTS.index(text)
    if any(c.isdigit() for c in text):
        return 2 if "," not in text and "." not in text else (0 if text.rfind(",") > text.rfind(".") else 3)
    return 6


def records(output):
    out = bytearray([2])
    page = -1
    for line in output.decode("utf-8").splitlines():
        parts = line.split(" ", 5)
        if parts[0] == "page":
            page += 1
            continue
        if len(parts) < 6 or not parts[0].lstrip("-").isdigit():
            continue
        x0, y0, x1, y1 = (int(v) / 100 for v in parts[:4])
        x, y = int(x0 * 4) & 0xFFF, int(y1 * 4) & 0xFFF
        width = min(255, int((x1 - x0) * 2))
        height = min(127, int((y1 - y0 - 1) * 16)) | (0x80 if parts[4] == "1" else 0)
        out += bytes([page & 0xFF, x & 0xFF, x >> 8, y & 0xFF, y >> 8, width, height, kind(parts[5])])
    return bytes(out)


def main():
    helper = sys.argv[1]
    for name in sorted(os.listdir(DATA)):
        if not name.endswith(".pdf"):
            continue
        output = subprocess.run([helper, os.path.join(DATA, name)], capture_output=True, check=True).stdout
        if len(output) <= 16 * 1024:
            write("fuzz_pdf_protocol", output)
        write("fuzz_pdf_table", records(output)[:8 * 400 + 1])


if __name__ == "__main__":
    main()
