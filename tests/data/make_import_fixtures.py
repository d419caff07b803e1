#!/usr/bin/python3
"""Writes the sheet-loading fixtures tests/data/import_*.xlsx (run from any folder).

Two producers on purpose: openpyxl and xlsxwriter lay their packages out differently.
"""
import os

import openpyxl
import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))


def path(name):
    return os.path.join(HERE, name)


def basic():
    # Headings A1:E1, F1 empty; ten data rows 2..11; row 12 empty; values in F5 and A14 lie outside.
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws.append(["Codigo", "Descripcion", "Cantidad", "Total", "Origen"])
    for i in range(1, 11):
        ws.append([f"ART-{i:03d}", f"Articulo {i}", i * 2, i * 10, "PRC"])
    ws["B3"] = "Llave de tubo\n12 pulgadas\tacero"  # line break and tab inside one cell
    ws["B4"] = "  Martillo  "                         # blanks kept as they are
    ws["D6"] = 1234.5
    ws["F5"] = "fuera de los encabezados"
    ws["A14"] = "debajo de la fila vacia"
    # A second sheet that must never be read.
    other = wb.create_sheet("Otra")
    other["A1"] = "otra hoja"
    wb.save(path("import_basic.xlsx"))


def edges():
    # Headings with a gap (C1 empty, D1 filled); a blank-only row, a row with one cell, a value
    # under the gap, an empty row 6 and a value below it.
    wb = xlsxwriter.Workbook(path("import_edges.xlsx"))
    ws = wb.add_worksheet("Hoja1")
    ws.write_string("A1", "Cod")
    ws.write_string("B1", "Desc")
    ws.write_string("D1", "Ignorada")
    ws.write_string("A2", "X1")
    ws.write_string("B2", "uno")
    ws.write_string("A3", "   ")
    ws.write_string("B4", "solo B")
    ws.write_string("A5", "X5")
    ws.write_string("B5", "cinco")
    ws.write_string("D5", "ignorado")
    ws.write_string("A7", "Z7")
    wb.close()


def headings_only():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.append(["Codigo", "Cantidad", "Total"])
    wb.save(path("import_headings_only.xlsx"))


def wide():
    # Twelve headings: columns 10 and 11 keep the grid's default width.
    wb = xlsxwriter.Workbook(path("import_wide.xlsx"))
    ws = wb.add_worksheet()
    for c in range(12):
        ws.write_string(0, c, f"H{c + 1}")
        ws.write_string(1, c, f"v{c + 1}")
    wb.close()


def error_cell():
    # B3 holds a formula whose cached value is #N/A: reading it fails.
    wb = xlsxwriter.Workbook(path("import_error_cell.xlsx"))
    ws = wb.add_worksheet()
    ws.write_string("A1", "Codigo")
    ws.write_string("B1", "Total")
    ws.write_string("A2", "ART-1")
    ws.write_number("B2", 5)
    ws.write_string("A3", "ART-2")
    ws.write_formula("B3", "=NA()", None, "#N/A")
    wb.close()


def a1_empty():
    # A1 empty: one column without a heading; B1 is never reached.
    wb = openpyxl.Workbook()
    ws = wb.active
    ws["B1"] = "no se lee"
    ws["A2"] = "dato"
    ws["A3"] = "otro"
    wb.save(path("import_a1_empty.xlsx"))


if __name__ == "__main__":
    basic()
    edges()
    headings_only()
    wide()
    error_cell()
    a1_empty()
