#!/usr/bin/env python3
"""Writes the workbook fixtures of the reader tests into this folder.

Run with a Python that has openpyxl and xlsxwriter (on Debian: /usr/bin/python3 with
python3-openpyxl and python3-xlsxwriter):

    python3 tests/data/make_fixtures.py
    tests/data/make_libreoffice.sh      # the LibreOffice copies and the password-protected files

The invoice is written by openpyxl and xlsxwriter; the edge cases that need exact XML (sheet
order, styles, inline strings, error values, broken parts) are written by hand with zipfile.
"""

import datetime
import os
import shutil
import zipfile
from xml.sax.saxutils import quoteattr

import openpyxl
import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))

HEADINGS = ["Codigo", "Descripcion", "Cantidad", "Total", "NCM", "Origen", "Fecha"]
ROWS = [
    ["A-100", "Tornillo de acero inoxidable", 100, 1234.5, "7318.15.00", "China", datetime.date(2024, 1, 15)],
    ["B-200", 'Válvula 1/2" de bronce', 25, 890.25, "8481.80.99", "Alemania", datetime.date(2024, 2, 29)],
    ["C-300", "Muñeco de acción «Ñandú»", 3, 15.75, "9503.00.99", "España", datetime.date(2023, 12, 31)],
    [4711, "Bomba centrífuga", 1, 99999.99, "8413.70.10", "Italia", datetime.date(2024, 3, 1)],
    ["D-500", "Cable 'unipolar' 2,5 mm", 1500, 1234567.891, "8544.49.00", "Brasil", datetime.date(2024, 6, 30)],
    ["E-600", "Caño de PVC", 12, 7, "3917.23.00", "Brasil", datetime.date(2024, 7, 1)],
    ["F-700", "Llave térmica", 0.5, -12.5, "8536.20.00", "Japón", datetime.date(2024, 12, 24)],
    ["G-800", "  Resistencia con blancos  ", 2, 0.001, "8533.21.20", "Estados Unidos", datetime.date(2025, 1, 2)],
]


def path(name):
    return os.path.join(HERE, name)


def invoice_openpyxl():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Factura"
    ws.append(HEADINGS)
    for row in ROWS:
        ws.append(row)
    for cell in ws["G"][1:]:
        cell.number_format = "dd/mm/yyyy"
    wb.save(path("invoice_openpyxl.xlsx"))


def invoice_xlsxwriter():
    wb = xlsxwriter.Workbook(path("invoice_xlsxwriter.xlsx"))
    ws = wb.add_worksheet("Factura")
    date_format = wb.add_format({"num_format": 14})
    ws.write_row(0, 0, HEADINGS)
    for r, row in enumerate(ROWS, start=1):
        for c, value in enumerate(row):
            if isinstance(value, datetime.date):
                ws.write_datetime(r, c, datetime.datetime.combine(value, datetime.time()), date_format)
            else:
                ws.write(r, c, value)
    wb.close()


def xlsxwriter_extras():
    """Rich text, formulas with cached results and a constant-memory (inline string) sheet."""
    wb = xlsxwriter.Workbook(path("richtext_xlsxwriter.xlsx"))
    ws = wb.add_worksheet()
    bold = wb.add_format({"bold": True})
    red = wb.add_format({"font_color": "red"})
    ws.write_rich_string("A1", "Texto ", bold, "en negrita", " y ", red, "rojo")
    ws.write_formula("A2", "=1+2", None, 3)
    ws.write_formula("B2", '="ab"&"c"', None, "abc")
    ws.write_formula("C2", "=1>0", None, True)
    wb.close()

    wb = xlsxwriter.Workbook(path("inline_xlsxwriter.xlsx"), {"constant_memory": True})
    ws = wb.add_worksheet()
    ws.write_row(0, 0, ["Codigo", "Descripción"])
    ws.write_row(1, 0, ["X-1", "en línea"])
    wb.close()


def layout_openpyxl():
    """A heading row with a gap, a row of blanks only, a hidden first sheet."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Datos"
    ws["A1"], ws["B1"], ws["D1"] = "Codigo", "Descripcion", "Total"
    ws["A2"], ws["B2"], ws["D2"] = "A-1", "uno", 10
    ws["B3"] = "   "
    ws["A4"] = "A-4"
    ws["F9"] = "lejos"
    wb.save(path("layout.xlsx"))

    wb = openpyxl.Workbook()
    hidden = wb.active
    hidden.title = "Oculta"
    hidden["A1"] = "primera hoja"
    hidden.sheet_state = "hidden"
    visible = wb.create_sheet("Visible")
    visible["A1"] = "segunda hoja"
    wb.active = 1
    wb.save(path("hidden_first.xlsx"))


def volume_openpyxl():
    """Many long, accented texts (the .xls copy splits its string table over several records)
    and a grid of numbers (stored there as compressed RK values, several to a record)."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Textos"
    for i in range(250):
        ws.cell(row=i + 1, column=1, value=f"Descripción número {i:04d} con eñes, acentos y «comillas» {'áéíóú' * (i % 7)}")
        ws.cell(row=i + 1, column=2, value=f"Código-{i}")
    ws.cell(row=1, column=3, value="Ω" + "x" * 9000)
    wb.save(path("long_texts.xlsx"))

    wb = openpyxl.Workbook()
    ws = wb.active
    for r in range(1, 31):
        for c in range(1, 13):
            values = [r * c, r * c + 0.25, -r * c * 1000, (r * 7 + c) / 100, 123456789 + r * c, 1e-7 * r * c]
            ws.cell(row=r, column=c, value=values[(r + c) % len(values)])
    wb.save(path("numbers.xlsx"))


# ---- hand-written packages -------------------------------------------------------------------

NS_MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
NS_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
NS_PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
REL_WORKSHEET = NS_REL + "/worksheet"
REL_CHARTSHEET = NS_REL + "/chartsheet"

CT_SHEETML = "application/vnd.openxmlformats-officedocument.spreadsheetml."


def content_types(parts):
    kinds = {"workbook.xml": "sheet.main+xml", "styles.xml": "styles+xml", "sharedStrings.xml": "sharedStrings+xml"}
    overrides = []
    for part in parts:
        kind = kinds.get(os.path.basename(part))
        if kind is None and part.startswith("xl/worksheets/"):
            kind = "worksheet+xml"
        if kind is None and part.startswith("xl/chartsheets/"):
            kind = "chartsheet+xml"
        if kind:
            overrides.append(f'<Override PartName="/{part}" ContentType="{CT_SHEETML}{kind}"/>')
    return (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        f'<Default Extension="xml" ContentType="application/xml"/>{"".join(overrides)}'
        "</Types>"
    )


def sheet_xml(rows_xml, extra_before=""):
    return (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        f'<worksheet xmlns="{NS_MAIN}" xmlns:r="{NS_REL}">{extra_before}'
        f"<sheetData>{rows_xml}</sheetData></worksheet>"
    )


def styles_xml(custom_formats, xf_format_ids):
    fmts = "".join(f'<numFmt numFmtId="{i}" formatCode={quoteattr(code)}/>' for i, code in custom_formats)
    xfs = "".join(f'<xf numFmtId="{i}" fontId="0" fillId="0" borderId="0" xfId="0"/>' for i in xf_format_ids)
    return (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        f'<styleSheet xmlns="{NS_MAIN}"><numFmts count="{len(custom_formats)}">{fmts}</numFmts>'
        '<fonts count="1"><font/></fonts><fills count="1"><fill/></fills><borders count="1"><border/></borders>'
        '<cellStyleXfs count="1"><xf numFmtId="22"/></cellStyleXfs>'
        f'<cellXfs count="{len(xf_format_ids)}">{xfs}</cellXfs></styleSheet>'
    )


def sst_xml(items):
    return (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        f'<sst xmlns="{NS_MAIN}" count="{len(items)}" uniqueCount="{len(items)}">{"".join(items)}</sst>'
    )


def package(name, sheets, sst=None, styles=None, workbook_pr="", omit=(), replace=None):
    """sheets: list of (sheet name, state, relationship type, target as written, part name, xml)."""
    parts = {}
    parts["_rels/.rels"] = (
        f'<?xml version="1.0" encoding="UTF-8"?>\n<Relationships xmlns="{NS_PKG}">'
        f'<Relationship Id="rId1" Type="{NS_REL}/officeDocument" Target="xl/workbook.xml"/></Relationships>'
    )
    rels, entries = [], []
    for i, (sheet_name, state, rel_type, target, part, xml) in enumerate(sheets, start=1):
        state_attr = f' state="{state}"' if state else ""
        entries.append(f'<sheet name="{sheet_name}" sheetId="{10 - i}"{state_attr} r:id="rId{i}"/>')
        rels.append(f'<Relationship Id="rId{i}" Type="{rel_type}" Target="{target}"/>')
        if part:
            parts[part] = xml
    n = len(sheets)
    if styles is not None:
        rels.append(f'<Relationship Id="rId{n + 1}" Type="{NS_REL}/styles" Target="styles.xml"/>')
        parts["xl/styles.xml"] = styles
    if sst is not None:
        rels.append(f'<Relationship Id="rId{n + 2}" Type="{NS_REL}/sharedStrings" Target="/xl/sharedStrings.xml"/>')
        parts["xl/sharedStrings.xml"] = sst
    parts["xl/workbook.xml"] = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        f'<workbook xmlns="{NS_MAIN}" xmlns:r="{NS_REL}">{workbook_pr}<sheets>{"".join(entries)}</sheets></workbook>'
    )
    parts["xl/_rels/workbook.xml.rels"] = (
        f'<?xml version="1.0" encoding="UTF-8"?>\n<Relationships xmlns="{NS_PKG}">{"".join(rels)}</Relationships>'
    )
    if replace:
        parts.update(replace)
    parts["[Content_Types].xml"] = content_types(parts)
    with zipfile.ZipFile(path(name), "w", zipfile.ZIP_DEFLATED) as z:
        for part, data in parts.items():
            if part not in omit:
                z.writestr(part, data.encode("utf-8") if isinstance(data, str) else data)


def one_sheet(xml, name="Hoja1"):
    return [(name, None, REL_WORKSHEET, "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml", xml)]


def handmade():
    # Sheet order comes from workbook.xml, not from part names or sheet ids; the first one is
    # reached through an absolute target and has an odd name. A chart sheet before it is skipped.
    first = sheet_xml('<row r="1"><c r="A1" t="inlineStr"><is><t>correcta</t></is></c></row>')
    second = sheet_xml('<row r="1"><c r="A1" t="inlineStr"><is><t>incorrecta</t></is></c></row>')
    package(
        "odd_order.xlsx",
        [
            ("Gráfico", None, REL_CHARTSHEET, "chartsheets/sheet1.xml", "xl/chartsheets/sheet1.xml",
             f'<chartsheet xmlns="{NS_MAIN}"/>'),
            ("  Hoja &apos;rara&apos; ñ#1!", None, REL_WORKSHEET, "/xl/worksheets/zzz.xml",
             "xl/worksheets/zzz.xml", first),
            ("Sheet1", None, REL_WORKSHEET, "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml", second),
        ],
    )

    # Date formats: built-in ids, custom codes, codes that only look like dates, the 1900 leap bug.
    styles = styles_xml(
        [
            (164, "dd/mm/yyyy;@"),
            (165, "[$-409]mmmm d, yyyy"),
            (166, '0.00 "días"'),
            (167, "[Red]#,##0.00"),
            (168, "[h]:mm:ss"),
            (169, "#,##0.00_);\\(#,##0.00\\)"),
        ],
        [0, 14, 22, 164, 165, 21, 166, 167, 168, 169, 49, 47],
    )
    rows = (
        '<row r="1"><c r="A1" s="1"><v>45306</v></c><c r="B1" s="2"><v>45351.604166666664</v></c>'
        '<c r="C1" s="3"><v>45306</v></c><c r="D1" s="4"><v>45306</v></c><c r="E1" s="5"><v>0.75</v></c>'
        '<c r="F1" s="6"><v>12.5</v></c><c r="G1" s="7"><v>1234.5</v></c><c r="H1" s="8"><v>1.5</v></c>'
        '<c r="I1" s="9"><v>-7</v></c><c r="J1" s="10"><v>3</v></c><c r="K1" s="11"><v>0.5</v></c></row>'
        '<row r="2"><c r="A2" s="1"><v>1</v></c><c r="B2" s="1"><v>59</v></c><c r="C2" s="1"><v>61</v></c>'
        '<c r="D2" s="1"><v>-1</v></c><c r="E2" s="1"><v>2958466</v></c><c r="F2" t="d"><v>2024-05-06T07:08:09</v></c>'
        '<c r="G2" s="99"><v>45306</v></c><c r="H2" s="1" t="s"><v>0</v></c><c r="I2" s="2"><v>45306.99999999</v></c></row>'
    )
    package("dates.xlsx", one_sheet(sheet_xml(rows)), sst=sst_xml(["<si><t>texto</t></si>"]), styles=styles)
    rows1904 = '<row r="1"><c r="A1" s="1"><v>0</v></c><c r="B1" s="1"><v>43844</v></c><c r="C1" s="2"><v>43844.5</v></c></row>'
    package("dates1904.xlsx", one_sheet(sheet_xml(rows1904)), styles=styles, workbook_pr='<workbookPr date1904="1"/>')

    # Formulas with cached results of every type, one without a cached result, and error values.
    rows = (
        '<row r="1"><c r="A1"><f>1+2</f><v>3</v></c><c r="B1" t="str"><f>"ab"&amp;"c"</f><v>abc</v></c>'
        '<c r="C1" t="b"><f>1&gt;0</f><v>1</v></c><c r="D1" t="b"><v>0</v></c><c r="E1"><f>SUM(A1)</f></c>'
        '<c r="F1" t="str"><f>""</f><v></v></c><c r="G1"><v>1E-3</v></c><c r="H1"><v>123456789012345678</v></c></row>'
        '<row r="2"><c r="A2" t="e"><f>NA()</f><v>#N/A</v></c><c r="B2" t="e"><f>1/0</f><v>#DIV/0!</v></c>'
        '<c r="C2" t="e"><v>#VALUE!</v></c><c r="D2" t="e"><v>#REF!</v></c><c r="E2">'
        '<v>2</v></c></row>'
    )
    package("formulas.xlsx", one_sheet(sheet_xml(rows)))

    # Rich-text and phonetic shared strings, escapes, inline strings, rows and cells without r.
    sst = sst_xml(
        [
            '<si><r><rPr><b/></rPr><t>Neg</t></r><r><t xml:space="preserve">rita </t></r><r><t>y normal</t></r></si>',
            '<si><t>漢字</t><rPh sb="0" eb="2"><t>カンジ</t></rPh><phoneticPr fontId="1"/></si>',
            '<si><t>línea 1_x000D_\nlínea 2</t></si>',
            '<si><t>a_x005F_x000D_b</t></si>',
            '<si><t/></si>',
            '<si><t xml:space="preserve">  con blancos  </t></si>',
        ]
    )
    rows = (
        '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="s"><v>2</v></c>'
        '<c r="D1" t="s"><v>3</v></c><c r="E1" t="s"><v>4</v></c><c r="F1" t="s"><v>5</v></c></row>'
        '<row><c t="inlineStr"><is><t>en línea</t></is></c><c t="inlineStr"><is><r><t>a</t></r><r><t>b</t></r>'
        '<rPh sb="0" eb="1"><t>x</t></rPh></is></c><c/><c t="n"><v>4</v></c></row>'
        '<row r="5"><c t="inlineStr"><is><t>fila 5</t></is></c><c r="C5"><v>5</v></c><c><v>6</v></c></row>'
        '<row><c r="B6"><v>7</v></c></row>'
    )
    package("strings.xlsx", one_sheet(sheet_xml(rows)), sst=sst)

    # Cells stored out of order, and the same cell twice (the later one wins).
    rows = (
        '<row r="3"><c r="B3"><v>32</v></c><c r="A3"><v>31</v></c></row>'
        '<row r="1"><c r="A1"><v>11</v></c></row><row r="1"><c r="A1"><v>12</v></c></row>'
    )
    package("unordered.xlsx", one_sheet(sheet_xml(rows)))

    # Excel's last cell is readable; the sheet's claimed dimension is ignored.
    rows = '<row r="1048576"><c r="XFD1048576"><v>1</v></c></row>'
    package("last_cell.xlsx", one_sheet(sheet_xml(rows, '<dimension ref="A1:XFD1048576"/>')))

    # ---- bad input ----
    bad_cols = '<row r="1"><c r="XFE1"><v>1</v></c></row>'
    package("beyond_columns.xlsx", one_sheet(sheet_xml(bad_cols, '<dimension ref="A1:XFE1"/>')))
    bad_rows = '<row r="1048577"><c r="A1048577"><v>1</v></c></row>'
    package("beyond_rows.xlsx", one_sheet(sheet_xml(bad_rows, '<dimension ref="A1:A1048577"/>')))
    package("no_sheet_part.xlsx", one_sheet(sheet_xml("")), omit=("xl/worksheets/sheet1.xml",))
    package("no_sheets.xlsx", [])
    package("only_chart.xlsx", [("Gráfico", None, REL_CHARTSHEET, "chartsheets/sheet1.xml",
                                 "xl/chartsheets/sheet1.xml", f'<chartsheet xmlns="{NS_MAIN}"/>')])
    package("malformed_sheet.xlsx", one_sheet(sheet_xml('<row r="1"><c r="A1"><v>1</v></row>')))
    package("malformed_strings.xlsx", one_sheet(sheet_xml('<row r="1"><c r="A1" t="s"><v>0</v></c></row>')),
            sst=sst_xml(["<si><t>a</t></si>", "<si><t>b</si>"]))
    package("bad_string_index.xlsx", one_sheet(sheet_xml('<row r="1"><c r="A1" t="s"><v>5</v></c></row>')),
            sst=sst_xml(["<si><t>a</t></si>"]))
    package("bad_number.xlsx", one_sheet(sheet_xml('<row r="1"><c r="A1"><v>nan</v></c></row>')))
    package("bad_reference.xlsx", one_sheet(sheet_xml('<row r="1"><c r="1A"><v>1</v></c></row>')))
    laughs = (
        '<?xml version="1.0"?>\n<!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol2 "&lol;&lol;&lol;&lol;">]>'
        f'<worksheet xmlns="{NS_MAIN}"><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>&lol2;</t></is></c>'
        "</row></sheetData></worksheet>"
    )
    package("dtd.xlsx", one_sheet(laughs))
    with zipfile.ZipFile(path("no_workbook.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("leame.txt", "no es un libro")
    with open(path("empty.xlsx"), "wb"):
        pass
    with open(path("text.xlsx"), "w", encoding="utf-8") as f:
        f.write("Codigo;Descripcion\nA-100;Tornillo\n")
    data = open(path("invoice_openpyxl.xlsx"), "rb").read()
    with open(path("truncated.xlsx"), "wb") as f:
        f.write(data[: len(data) * 6 // 10])


def scanner_features():
    """XML that Excel does not write but other producers may: a UTF-16 part, prefixed elements,
    single-quoted attributes, comments, processing instructions, CDATA, character references."""
    rows = (
        "<!-- comentario --><?proceso datos?>"
        "<x:row r='1'><x:c r='A1' t='inlineStr'><x:is><x:t><![CDATA[a<b & c]]></x:t></x:is></x:c>"
        "<x:c r='B1' t='inlineStr'><x:is><x:t>&#241;&#xF1;&amp;&lt;&gt;&quot;&apos;&#x1F600;</x:t></x:is></x:c>"
        "<x:c r='C1' ><x:v>\n 42 \n</x:v></x:c><x:c r = \"D1\" t=\"str\"><x:v>l\u00ednea 1\r\nl\u00ednea 2</x:v></x:c></x:row>"
    )
    prefixed = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<x:worksheet xmlns:x="{NS_MAIN}"><x:sheetData>{rows}</x:sheetData></x:worksheet>'
    )
    package("xml_features.xlsx", one_sheet(prefixed))
    utf16 = (
        '<?xml version="1.0" encoding="UTF-16"?>\n'
        f'<worksheet xmlns="{NS_MAIN}"><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>texto ñ</t></is></c>'
        '<c r="B1"><v>1.5</v></c></row></sheetData></worksheet>'
    ).encode("utf-16")
    package("utf16.xlsx", one_sheet(utf16))


def main():
    invoice_openpyxl()
    invoice_xlsxwriter()
    xlsxwriter_extras()
    layout_openpyxl()
    volume_openpyxl()
    handmade()
    # The xlsxwriter invoice with the extension of the other format.
    shutil.copyfile(path("invoice_xlsxwriter.xlsx"), path("xlsx_named.xls"))


if __name__ == "__main__":
    main()
