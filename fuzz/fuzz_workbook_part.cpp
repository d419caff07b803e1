// libFuzzer target: the fuzzed bytes become one part of an otherwise valid .xlsx package, so that
// the XML parsers see them as they are (a mutated zip rarely gets a compressed part past its CRC).
// The first byte chooses the part: sheet, shared strings, styles or workbook.
#include "FuzzWorkbook.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <zip.h>

namespace {

struct Part {
    const char *name;
    const char *text;
};

// A small workbook with a shared, an inline and a formula string, numbers, a date, a boolean and
// an error, so that every part's content is used.
const Part Parts[] = {
    {"xl/worksheets/sheet1.xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>
<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c><c r="C1" t="inlineStr"><is><t>Fecha</t></is></c></row>
<row r="2"><c r="A2"><v>12.5</v></c><c r="B2" t="str"><f>A1</f><v>Tornillo_x000D_</v></c><c r="C2" s="1"><v>45306.5</v></c></row>
<row r="3"><c r="A3" t="b"><v>1</v></c><c r="B3" t="e"><v>#N/A</v></c><c r="D5" s="2"><v>-3</v></c></row>
</sheetData></worksheet>)"},
    {"xl/sharedStrings.xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="2" uniqueCount="2">
<si><t>C&#243;digo</t></si><si><r><rPr><b/></rPr><t xml:space="preserve">Descrip </t></r><r><t>ci&amp;n</t></r></si></sst>)"},
    {"xl/styles.xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<numFmts count="1"><numFmt numFmtId="164" formatCode="dd/mm/yyyy\ hh:mm"/></numFmts>
<cellXfs count="3"><xf numFmtId="0"/><xf numFmtId="164" applyNumberFormat="1"/><xf numFmtId="14"/></cellXfs>
</styleSheet>)"},
    {"xl/workbook.xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
<workbookPr date1904="false"/><sheets><sheet name="Factura" sheetId="1" r:id="rId1"/></sheets></workbook>)"},
    {"[Content_Types].xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
</Types>)"},
    {"_rels/.rels",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>)"},
    {"xl/_rels/workbook.xml.rels",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>
<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="/xl/styles.xml"/>
</Relationships>)"},
};
constexpr size_t FuzzedParts = 4; // the first four of Parts

// The package with the chosen part replaced, built in memory; empty if libzip fails.
QByteArray package(size_t fuzzed, const uint8_t *data, size_t size)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) return {};
    zip_source_keep(buffer);
    zip_t *zip = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    bool ok = zip != nullptr;
    for (size_t i = 0; ok && i < std::size(Parts); ++i) {
        const void *bytes = i == fuzzed ? static_cast<const void *>(data) : Parts[i].text;
        const size_t length = i == fuzzed ? size : strlen(Parts[i].text);
        zip_source_t *part = zip_source_buffer(zip, bytes, length, 0);
        const zip_int64_t index = part ? zip_file_add(zip, Parts[i].name, part, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(part);
            ok = false;
        } else {
            zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_STORE, 0);
        }
    }
    if (zip && (!ok || zip_close(zip) != 0)) {
        zip_discard(zip);
        ok = false;
    }
    QByteArray out;
    zip_stat_t st;
    if (ok && zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0) {
        out.resize(qsizetype(st.size));
        if (zip_source_read(buffer, out.data(), st.size) != zip_int64_t(st.size)) out.clear();
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    zip_error_fini(&error);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::useSpanishLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    const QByteArray zip = package(data[0] % FuzzedParts, data + 1, size - 1);
    if (zip.isEmpty()) __builtin_trap(); // the harness itself failed
    const QString path =
        fuzz::writeInput(QStringLiteral("fuzz_workbook_part.xlsx"), zip.constData(), zip.size());
    if (!path.isEmpty()) fuzz::readWorkbook(path, 8, 8);
    return 0;
}
