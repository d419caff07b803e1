#!/usr/bin/env python3
"""Writes factura_demo.xlsx: a supplier invoice whose article codes walk every path of the
automatic process against the demo catalogue '001' (found and valid, position not in the
nomenclator, suffixes missing, malformed position, new articles) and whose origins are resolved by
country id, description and taught relation, plus one origin that no table resolves.

Map the columns with F1: Codigo -> [ COD. ARTICULO ], Descripcion -> [ DESCR. MODELO ],
Cantidad -> [ CANTIDAD ], Precio Unit. -> [ P. UNITARIO ], Importe -> [ P. TOTAL ],
Origen -> [ ORIGEN ], Kg Neto -> [ KG NETO ].
"""
import sys
from pathlib import Path

from openpyxl import Workbook
from openpyxl.styles import Font

HEADINGS = ["Codigo", "Descripcion", "Cantidad", "Precio Unit.", "Importe", "Origen", "Kg Neto"]
ROWS = [
    ("MT-500", "MARTILLO CARPINTERO 500G", 24, 4.25, 102, "CHINA", 12.5),          # found, valid
    ("DS-PH2", "DESTORNILLADOR PHILLIPS PH2", 50, 1.1, 55, "CHINA", 5),            # found, valid
    ("TL-13", "TALADRO PERCUTOR 13MM", 4, 38, 152, "P.R. CHINA", 10.2),            # found, LAPI position
    ("ZP-42", "ZAPATO DE SEGURIDAD T42", 12, 21.5, 258, "BRASIL", 9.6),            # declared-unit rule
    ("CB-2X15", "CABLE BIPOLAR 2X1.5MM", 3, 55, 165, "BRAZIL", 30),                 # found, valid
    ("LL-10", "LLAVE AJUSTABLE 10", 10, 6.8, 68, "CHINA", 4),                      # position not in ncm
    ("MT-300", "MARTILLO BOLITA 300G", 24, 3.9, 93.6, "CHINA", 7.2),               # suffix missing
    ("SR-01", "SIERRA MANUAL", 6, 9, 54, "CHINA", 3),                              # malformed position
    ("AM-DIG", "MULTIMETRO DIGITAL", 2, 15, 30, "REP. POPULAR CHINA", 0.8),        # origin unknown
    ("PZ-900", "PINZA UNIVERSAL 8", 20, 2.5, 50, "REP. POPULAR CHINA", 2),         # new
    ("LN-LED", "LINTERNA LED RECARGABLE", 15, 7.2, 108, "ESTADOS UNIDOS", 1.5),    # new
    ("TC-7", "TIJERA DE CHAPA", 5, 8, 40, "USA", 2.5),                             # new
]


def main() -> None:
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("factura_demo.xlsx")
    wb = Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws.append(HEADINGS)
    for cell in ws[1]:
        cell.font = Font(bold=True)
    for row in ROWS:
        ws.append(list(row))
    for column, width in zip("ABCDEFG", (12, 32, 10, 12, 10, 22, 10)):
        ws.column_dimensions[column].width = width
    wb.properties.creator = "Planexo demo"
    wb.save(out)


if __name__ == "__main__":
    main()
