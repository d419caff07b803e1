#!/usr/bin/python3
"""Writes the PDF invoices of the tests (run from any folder), as suppliers' programs print them,
with the ten articles of make_layout_fixtures.py:
- layout_letterhead_libreoffice.pdf: layout_letterhead.xlsx with its columns widened and the sheet
  fitted to the page's width, as a supplier's template is, exported by LibreOffice Calc (Debian:
  libreoffice-calc-nogui).
- invoice_reportlab_ruled.pdf (Debian: python3-reportlab): an ERP's invoice, a header block, a ruled
  table over two pages with its heading repeated, amounts right-aligned with two decimals and a
  decimal point, the totals under the items, bank details and a signature further down.
- invoice_reportlab_unruled.pdf: the same drawn line by line without rules, amounts with a decimal
  comma and group separators ("1.091,60").
- invoice_wkhtmltopdf.pdf (Debian: wkhtmltopdf): an HTML invoice printed by wkhtmltopdf.
- scanned.pdf: a page that is only an image; encrypted.pdf: the ruled invoice with the password
  "clave"; damaged.pdf: a PDF whose objects are garbage.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_layout_fixtures import ITEMS, SUBTOTAL, path  # noqa: E402

HEADINGS = ["Código", "Descripción", "Cant.", "P. Unitario", "Importe", "País de origen", "Peso neto",
            "Posición", "Peso bruto"]


def comma(value, decimals=2):
    text = f"{value:,.{decimals}f}"
    return text.replace(",", "_").replace(".", ",").replace("_", ".")


def row_texts(item, amount):
    code, desc, qty, unit, total, origin, net, ncm, gross = item
    return [code, desc, str(qty), amount(unit), amount(total), origin, amount(net), ncm, amount(gross)]


def letterhead_libreoffice():
    import openpyxl
    soffice = shutil.which("soffice")
    if not soffice:
        return
    with tempfile.TemporaryDirectory() as work:
        wb = openpyxl.load_workbook(path("layout_letterhead.xlsx"))
        ws = wb.active
        for column, width in zip("ABCDEFGHI", [10, 30, 6, 10, 10, 18, 10, 12, 10]):
            ws.column_dimensions[column].width = width
        ws.page_setup.orientation = "landscape"
        ws.page_setup.fitToWidth = 1
        ws.page_setup.fitToHeight = 0
        ws.sheet_properties.pageSetUpPr.fitToPage = True
        source = os.path.join(work, "layout_letterhead.xlsx")
        wb.save(source)
        subprocess.run([soffice, f"-env:UserInstallation=file://{work}/profile", "--headless", "--convert-to",
                        "pdf", "--outdir", work, source], check=True, stdout=subprocess.DEVNULL,
                       env=dict(os.environ, LC_ALL="en_US.UTF-8"))
        shutil.copy(os.path.join(work, "layout_letterhead.pdf"), path("layout_letterhead_libreoffice.pdf"))


def header_block(c, top):
    c.setFont("Helvetica-Bold", 14)
    c.drawString(40, top, "FERRETERA DEL PLATA S.R.L.")
    c.setFont("Helvetica", 9)
    c.drawString(40, top - 14, "Av. Mitre 1450, Avellaneda, Buenos Aires - CUIT 30-71234567-9")
    c.setFont("Helvetica-Bold", 12)
    c.drawString(400, top, "FACTURA E")
    c.setFont("Helvetica", 9)
    c.drawString(400, top - 14, "N° 0003-00001234")
    c.drawString(400, top - 26, "Fecha: 05/03/2024")
    c.drawString(40, top - 44, "Cliente: Importadora del Sur S.A.   Condición: Cuenta corriente")


def reportlab_ruled(target, encrypt=None):
    from reportlab.lib import colors
    from reportlab.lib.pagesizes import A4, landscape
    from reportlab.pdfgen import canvas
    from reportlab.platypus import Table, TableStyle

    c = canvas.Canvas(target, pagesize=landscape(A4), encrypt=encrypt)
    c.setTitle("Factura 0003-00001234")
    widths = [60, 190, 40, 65, 65, 95, 60, 70, 60]
    style = TableStyle([
        ("FONT", (0, 0), (-1, -1), "Helvetica", 9),
        ("FONT", (0, 0), (-1, 0), "Helvetica-Bold", 9),
        ("GRID", (0, 0), (-1, -1), 0.5, colors.black),
        ("ALIGN", (2, 0), (4, -1), "RIGHT"),
        ("ALIGN", (6, 0), (6, -1), "RIGHT"),
        ("ALIGN", (8, 0), (8, -1), "RIGHT"),
        ("BACKGROUND", (0, 0), (-1, 0), colors.lightgrey),
    ])
    pages = [ITEMS[:6], ITEMS[6:]]
    height = landscape(A4)[1]
    for number, items in enumerate(pages, start=1):
        top = height - 40
        if number == 1:
            header_block(c, top)
            top -= 70
        rows = [HEADINGS] + [row_texts(i, lambda v: f"{v:.2f}") for i in items]
        table = Table(rows, colWidths=widths)
        table.setStyle(style)
        _, h = table.wrapOn(c, 0, 0)
        table.drawOn(c, 40, top - h)
        y = top - h
        if number == len(pages):
            c.setFont("Helvetica-Bold", 9)
            c.drawRightString(300 + 65, y - 14, "SUBTOTAL")
            c.drawRightString(300 + 65 + 65 + 40 - 6, y - 14, f"{SUBTOTAL:.2f}")
            c.drawRightString(300 + 65, y - 26, "TOTAL U$S")
            c.drawRightString(300 + 65 + 65 + 40 - 6, y - 26, f"{SUBTOTAL:.2f}")
            c.setFont("Helvetica", 8)
            c.drawString(40, y - 80, "Banco Nación - CBU 0110599520000001234567 - Cuenta en dólares")
            c.drawString(40, y - 110, "Firma: ______________________")
        c.setFont("Helvetica", 8)
        c.drawString(40, 25, f"Página {number} de {len(pages)}")
        c.showPage()
    c.save()


def reportlab_unruled():
    from reportlab.lib.pagesizes import A4
    from reportlab.pdfgen import canvas

    c = canvas.Canvas(path("invoice_reportlab_unruled.pdf"), pagesize=A4)
    width, height = A4
    header_block(c, height - 40)
    # Left edges of the texts, right edges of the amounts.
    lefts = {0: 30, 1: 80, 5: 330, 7: 445}
    rights = {2: 235, 3: 275, 4: 325, 6: 440, 8: 560}
    y = height - 130
    c.setFont("Helvetica-Bold", 7)
    for col, text in enumerate(HEADINGS):
        if col in lefts:
            c.drawString(lefts[col], y, text)
        else:
            c.drawRightString(rights[col], y, text)
    c.setFont("Helvetica", 7)
    for item in ITEMS:
        y -= 11
        for col, text in enumerate(row_texts(item, comma)):
            if col in lefts:
                c.drawString(lefts[col], y, text)
            else:
                c.drawRightString(rights[col], y, text)
    y -= 30
    c.setFont("Helvetica-Bold", 7)
    c.drawString(80, y, "Total de la factura")
    c.drawRightString(rights[4], y, comma(SUBTOTAL))
    c.setFont("Helvetica", 7)
    c.drawString(30, y - 40, "Son dólares mil noventa y uno con 60/100.")
    c.showPage()
    c.save()


def wkhtmltopdf():
    tool = shutil.which("wkhtmltopdf")
    if not tool:
        return
    cells = "".join(
        "<tr>" + "".join(f'<td class="{"n" if col in (2, 3, 4, 6, 8) else "t"}">{text}</td>'
                         for col, text in enumerate(row_texts(item, lambda v: f"{v:,.2f}"))) + "</tr>"
        for item in ITEMS)
    heads = "".join(f"<th>{h}</th>" for h in HEADINGS)
    html = f"""<!DOCTYPE html><html><head><meta charset="utf-8"><style>
body {{ font-family: 'DejaVu Sans', sans-serif; font-size: 9pt; }}
table {{ border-collapse: collapse; width: 100%; }}
th {{ text-align: left; border-bottom: 1px solid #000; padding: 3px 6px; }}
td {{ padding: 3px 6px; }} td.n {{ text-align: right; }}
</style></head><body>
<h2>Comercial Andina Ltda.</h2>
<p>Factura de exportación N° 1187 &nbsp;&nbsp; Fecha: 05/03/2024<br>Cliente: Importadora del Sur S.A.</p>
<table><thead><tr>{heads}</tr></thead><tbody>{cells}</tbody></table>
<p style="margin-top:40px">Total U$S {SUBTOTAL:,.2f}</p>
</body></html>"""
    with tempfile.TemporaryDirectory() as work:
        page = os.path.join(work, "invoice.html")
        with open(page, "w", encoding="utf-8") as f:
            f.write(html)
        subprocess.run([tool, "--quiet", "--disable-smart-shrinking", "-O", "Landscape", page,
                        path("invoice_wkhtmltopdf.pdf")], check=True)


def scanned():
    from reportlab.lib.pagesizes import A4
    from reportlab.lib.utils import ImageReader
    from reportlab.pdfgen import canvas
    import io
    import zlib
    import struct

    # A small grey PNG drawn as the page's only content.
    w, h = 40, 20
    raw = b"".join(b"\x00" + bytes([180]) * w for _ in range(h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 0, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    c = canvas.Canvas(path("scanned.pdf"), pagesize=A4)
    c.drawImage(ImageReader(io.BytesIO(png)), 40, 400, 500, 250)
    c.showPage()
    c.save()


def damaged():
    with open(path("invoice_reportlab_ruled.pdf"), "rb") as f:
        data = bytearray(f.read())
    # The header kept, every byte after the first line scrambled.
    start = data.index(b"\n") + 1
    for i in range(start, len(data)):
        data[i] = (data[i] * 7 + 13) & 0xFF
    with open(path("damaged.pdf"), "wb") as f:
        f.write(data[:2000])


if __name__ == "__main__":
    letterhead_libreoffice()
    reportlab_ruled(path("invoice_reportlab_ruled.pdf"))
    reportlab_ruled(path("encrypted.pdf"), encrypt="clave")
    reportlab_unruled()
    wkhtmltopdf()
    scanned()
    damaged()
