#!/usr/bin/python3
"""Writes the supplier-layout fixtures tests/data/layout_*.xlsx (run from any folder), and the .xls
of the letterhead invoice through LibreOffice when soffice is installed.

The same ten articles in every file: once as a clean table at A1 of the first sheet, and laid out
the ways suppliers lay invoices out:
- layout_letterhead.xlsx (openpyxl): a letterhead with merged cells in rows 1-7, a merged group
  heading "PRICE (USD)" over two columns in row 8, English headings in row 9, the items from row
  10, a SUB-TOTAL and a FLETE row under them, a signature line further down.
- layout_second_sheet.xlsx (xlsxwriter): a text-only cover sheet first; the items on the second
  sheet under a short letterhead, Portuguese headings in row 4, a TOTAL row under them.
- layout_hidden_sheet.xlsx (openpyxl): a hidden sheet of rates first (a small table of its own);
  the items at A1 of the second sheet with an IMPORTE TOTAL row under them.
- layout_merged.xlsx (openpyxl) and layout_merged.ods (LibreOffice): a title merged over the
  table, headings on rows 3 and 4: "Código", "Descripción", ... merged down over both rows, and
  "PRECIO (USD)" merged across the unit-price and total columns, whose headings sit on row 4.
- layout_b4.xlsx (openpyxl) and layout_b4.xls (ssconvert): an empty margin column A, a title in
  B1, the headings at B4.
- layout_blank_row.xlsx (openpyxl) and layout_blank_row.ods (LibreOffice): the items at A1 split
  by a blank row after the sixth item, a blank row and a TOTAL row under the last.
- layout_repeated.xlsx (openpyxl) and layout_repeated.xls (ssconvert): the items at A1 with the
  heading row repeated every four items (once in capitals without accents) and page lines:
  "Página 1 de 3", a "Transporte" subtotal, "Página 2 de 3"; a TOTAL row under the last item.
"""
import datetime
import os
import shutil
import subprocess
import tempfile

import openpyxl
import xlsxwriter
from openpyxl.styles import Alignment, Font

HERE = os.path.dirname(os.path.abspath(__file__))

# code, description, quantity, unit price, amount, origin, net kg, position, gross kg
ITEMS = [
    ("MT-500", "MARTILLO CARPINTERO 500G", 24, 4.25, 102, "CHINA", 12.5, "8205.20.00", 13.1),
    ("DS-PH2", "DESTORNILLADOR PHILLIPS PH2", 50, 1.1, 55, "CHINA", 5, "8205.40.00", 5.6),
    ("TL-13", "TALADRO PERCUTOR 13MM", 4, 38, 152, "P.R. CHINA", 10.2, "8467.21.00", 11),
    ("ZP-42", "ZAPATO DE SEGURIDAD T42", 12, 21.5, 258, "BRASIL", 9.6, "6403.40.00", 10.4),
    ("CB-2X15", "CABLE BIPOLAR 2X1.5MM", 3, 55, 165, "BRAZIL", 30, "8544.49.00", 31.5),
    ("LL-10", "LLAVE AJUSTABLE 10", 10, 6.8, 68, "CHINA", 4, "8204.12.00", 4.4),
    ("MT-300", "MARTILLO BOLITA 300G", 24, 3.9, 93.6, "CHINA", 7.2, "8205.20.00", 7.8),
    ("PZ-900", "PINZA UNIVERSAL 8", 20, 2.5, 50, "CHINA", 2, "8203.20.90", 2.3),
    ("LN-LED", "LINTERNA LED RECARGABLE", 15, 7.2, 108, "ESTADOS UNIDOS", 1.5, "8513.10.10", 1.9),
    ("TC-7", "TIJERA DE CHAPA", 5, 8, 40, "USA", 2.5, "8203.30.00", 2.8),
]
SUBTOTAL = sum(i[4] for i in ITEMS)


def path(name):
    return os.path.join(HERE, name)


def clean():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws.append(["Codigo", "Descripcion", "Cantidad", "Precio Unit.", "Importe", "Origen", "Kg Neto", "NCM",
               "Kg Bruto"])
    for item in ITEMS:
        ws.append(list(item))
    wb.save(path("layout_clean.xlsx"))


def letterhead():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Invoice"
    ws["A1"] = "NINGBO ACME HARDWARE TRADING CO., LTD."
    ws["A1"].font = Font(bold=True, size=14)
    ws.merge_cells("A1:I1")
    ws["A2"] = "No. 88 Industrial Road, Beilun District, Ningbo, Zhejiang, China"
    ws.merge_cells("A2:I2")
    ws["A3"] = "Tel: +86 574 8888 0000   Fax: +86 574 8888 0001"
    ws.merge_cells("A3:I3")
    ws["A5"] = "COMMERCIAL INVOICE"
    ws["A5"].font = Font(bold=True, size=12)
    ws["A5"].alignment = Alignment(horizontal="center")
    ws.merge_cells("A5:I5")
    ws["A6"] = "Invoice No.:"
    ws["B6"] = "AH-2024-0117"
    ws["E6"] = "Date:"
    ws["F6"] = datetime.date(2024, 3, 5)
    ws["A7"] = "Buyer:"
    ws["B7"] = "Importadora del Sur S.A., Buenos Aires"
    ws.merge_cells("B7:D7")
    ws["D8"] = "PRICE (USD)"
    ws.merge_cells("D8:E8")
    ws["D8"].alignment = Alignment(horizontal="center")
    headings = ["Item No.", "Description", "Qty", "Unit Price", "Amount", "Country of Origin", "N.W. (kg)",
                "HS Code", "G.W. (kg)"]
    for c, h in enumerate(headings, start=1):
        ws.cell(row=9, column=c, value=h).font = Font(bold=True)
    for r, item in enumerate(ITEMS, start=10):
        for c, v in enumerate(item, start=1):
            ws.cell(row=r, column=c, value=v)
    last = 9 + len(ITEMS)
    ws.cell(row=last + 1, column=2, value="SUB-TOTAL")
    ws.cell(row=last + 1, column=5, value=SUBTOTAL)
    ws.cell(row=last + 2, column=2, value="Flete marítimo")
    ws.cell(row=last + 2, column=5, value=120)
    ws.cell(row=last + 5, column=1, value="Signature: ____________________")
    wb.save(path("layout_letterhead.xlsx"))


def second_sheet():
    wb = xlsxwriter.Workbook(path("layout_second_sheet.xlsx"))
    cover = wb.add_worksheet("Capa")
    cover.write_string("A1", "FERRAGENS PAULISTA LTDA.")
    cover.write_string("A3", "Marcas de embarque:")
    cover.write_string("B3", "IMPORTADORA DEL SUR")
    cover.write_string("B4", "BUENOS AIRES - ARGENTINA")
    cover.write_string("B5", "MADE IN BRAZIL")
    cover.write_string("A7", "Observações:")
    cover.write_string("B7", "Mercadoria embalada em caixas de papelão")
    sheet = wb.add_worksheet("Fatura")
    sheet.write_string("A1", "FERRAGENS PAULISTA LTDA. - Fatura comercial 3391")
    sheet.write_string("A2", "Cliente:")
    sheet.write_string("B2", "Importadora del Sur S.A.")
    headings = ["Código", "Descrição", "Qtde", "Valor unitário", "Valor total", "Origem", "Peso líquido",
                "NCM", "Peso bruto"]
    for c, h in enumerate(headings):
        sheet.write_string(3, c, h)
    for r, item in enumerate(ITEMS, start=4):
        for c, v in enumerate(item):
            if isinstance(v, str):
                sheet.write_string(r, c, v)
            else:
                sheet.write_number(r, c, v)
    total = 4 + len(ITEMS)
    sheet.write_string(total, 3, "TOTAL")
    sheet.write_number(total, 4, SUBTOTAL)
    wb.close()


def hidden_sheet():
    wb = openpyxl.Workbook()
    rates = wb.active
    rates.title = "Tasas"
    rates.append(["Moneda", "Tasa", "Factor"])
    rates.append(["USD", 1, 1])
    rates.append(["EUR", 1.08, 0.93])
    rates.sheet_state = "hidden"
    ws = wb.create_sheet("Factura")
    ws.append(["Código", "Descripción", "Cant.", "P. Unitario", "Importe", "País de origen", "Peso neto",
               "Posición", "Peso bruto"])
    for item in ITEMS:
        ws.append(list(item))
    ws.append([None, None, None, "IMPORTE TOTAL", SUBTOTAL])
    wb.save(path("layout_hidden_sheet.xlsx"))


def letterhead_xls():
    soffice = shutil.which("soffice")
    if not soffice:
        return
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([soffice, "--headless", "--convert-to", "xls", "--outdir", out,
                        path("layout_letterhead.xlsx")], check=True, stdout=subprocess.DEVNULL)
        shutil.copy(os.path.join(out, "layout_letterhead.xls"), path("layout_letterhead.xls"))


CLEAN_HEADINGS = ["Código", "Descripción", "Cantidad", "Precio Unit.", "Importe", "Origen", "Kg Neto", "NCM",
                  "Kg Bruto"]


def merged():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws["A1"] = "FACTURA COMERCIAL 4471 - HERRAMIENTAS DEL PLATA"
    ws.merge_cells("A1:I1")
    for col, text in zip("ABCFGHI", ["Código", "Descripción", "Cantidad", "Origen", "Kg Neto", "NCM", "Kg Bruto"]):
        ws[col + "3"] = text
        ws.merge_cells(f"{col}3:{col}4")
    ws["D3"] = "PRECIO (USD)"
    ws.merge_cells("D3:E3")
    ws["D4"] = "P. Unit."
    ws["E4"] = "Total"
    for r, item in enumerate(ITEMS, start=5):
        for c, v in enumerate(item, start=1):
            ws.cell(row=r, column=c, value=v)
    ws.cell(row=5 + len(ITEMS), column=4, value="TOTAL")
    ws.cell(row=5 + len(ITEMS), column=5, value=SUBTOTAL)
    wb.save(path("layout_merged.xlsx"))


def b4():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws.column_dimensions["A"].width = 2
    ws["B1"] = "FACTURA 5520 - Ferretería Industrial del Plata"
    ws["B2"] = "Fecha: 05/03/2024"
    for c, h in enumerate(CLEAN_HEADINGS, start=2):
        ws.cell(row=4, column=c, value=h)
    for r, item in enumerate(ITEMS, start=5):
        for c, v in enumerate(item, start=2):
            ws.cell(row=r, column=c, value=v)
    ws.cell(row=5 + len(ITEMS), column=5, value="TOTAL")
    ws.cell(row=5 + len(ITEMS), column=6, value=SUBTOTAL)
    wb.save(path("layout_b4.xlsx"))


def blank_row():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws.append(CLEAN_HEADINGS)
    for item in ITEMS[:6]:
        ws.append(list(item))
    ws.append([])
    for item in ITEMS[6:]:
        ws.append(list(item))
    ws.append([])
    ws.append([None, None, None, "TOTAL", SUBTOTAL])
    wb.save(path("layout_blank_row.xlsx"))


def repeated():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws.append(CLEAN_HEADINGS)
    for item in ITEMS[:4]:
        ws.append(list(item))
    ws.append(["Página 1 de 3"])
    ws.append(CLEAN_HEADINGS)
    for item in ITEMS[4:8]:
        ws.append(list(item))
    ws.append([None, "Transporte", None, None, sum(i[4] for i in ITEMS[:8])])
    ws.append(["Página 2 de 3"])
    ws.append([h.upper().replace("Ó", "O") for h in CLEAN_HEADINGS])
    for item in ITEMS[8:]:
        ws.append(list(item))
    ws.append([None, None, None, "TOTAL", SUBTOTAL])
    wb.save(path("layout_repeated.xlsx"))


def convert(tool, source, target):
    """Writes target from source with LibreOffice (soffice) or gnumeric (ssconvert), when installed."""
    exe = shutil.which(tool)
    if not exe:
        return
    if tool == "ssconvert":
        subprocess.run([exe, "--export-type=Gnumeric_Excel:excel_biff8", path(source), path(target)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return
    ext = target.rsplit(".", 1)[1]
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([exe, "--headless", "--convert-to", ext, "--outdir", out, path(source)], check=True,
                       stdout=subprocess.DEVNULL)
        shutil.copy(os.path.join(out, source.rsplit(".", 1)[0] + "." + ext), path(target))


if __name__ == "__main__":
    clean()
    letterhead()
    second_sheet()
    hidden_sheet()
    letterhead_xls()
    merged()
    b4()
    blank_row()
    repeated()
    convert("soffice", "layout_merged.xlsx", "layout_merged.ods")
    convert("soffice", "layout_blank_row.xlsx", "layout_blank_row.ods")
    convert("ssconvert", "layout_b4.xlsx", "layout_b4.xls")
    convert("ssconvert", "layout_repeated.xlsx", "layout_repeated.xls")
