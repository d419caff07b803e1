// libFuzzer target: the fuzzed bytes become one binary part of an otherwise valid .xlsb package,
// so that the record readers see them as they are (a mutated zip rarely gets a part past its CRC).
// The first byte chooses the part: sheet, shared strings, styles or workbook.
#include "FuzzWorkbook.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <zip.h>

namespace {

// BIFF12 records: the type in one or two bytes, the size in one to four, seven bits each.
QByteArray record(uint32_t type, const QByteArray &payload = {})
{
    QByteArray out;
    if (type < 0x80) {
        out += char(type);
    } else {
        out += char((type & 0x7F) | 0x80);
        out += char(type >> 7);
    }
    uint32_t size = uint32_t(payload.size());
    do {
        const uint32_t b = size & 0x7F;
        size >>= 7;
        out += char(b | (size ? 0x80 : 0));
    } while (size);
    return out + payload;
}

QByteArray u16(uint32_t v)
{
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF);
}

QByteArray u32(uint32_t v)
{
    return u16(v & 0xFFFF) + u16(v >> 16);
}

QByteArray wide(const char16_t *text)
{
    const std::u16string s(text);
    QByteArray out = u32(uint32_t(s.size()));
    for (const char16_t c : s)
        out += u16(c);
    return out;
}

QByteArray cell(uint32_t col, uint32_t style)
{
    return u32(col) + u32(style);
}

QByteArray real(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return u32(uint32_t(bits)) + u32(uint32_t(bits >> 32));
}

// A small workbook with shared, rich and cell strings, numbers in every form, a date, booleans,
// an error, formulas with cached values and short cells, so that every part's content is used.
QByteArray sheetPart()
{
    const QByteArray row1 = record(0x00, u32(0) + QByteArray(21, '\0'));
    const QByteArray row2 = record(0x00, u32(1) + QByteArray(21, '\0'));
    const QByteArray row4 = record(0x00, u32(3) + QByteArray(21, '\0'));
    return record(0x81) + record(0x94, u32(0) + u32(3) + u32(0) + u32(4)) + record(0x91) + row1 +
           record(0x07, cell(0, 0) + u32(0)) + record(0x12, u32(0) + u32(1)) +
           record(0x06, cell(2, 0) + wide(u"Fecha")) + row2 +
           record(0x02, cell(0, 0) + u32((1250u << 2) | 3)) + record(0x05, cell(1, 1) + real(45306.5)) +
           record(0x0D, u32(2) + u32((7u << 2) | 2)) + record(0x10, u32(0) + real(-0.001)) +
           record(0x04, cell(4, 0) + QByteArray(1, '\1')) + row4 +
           record(0x09, cell(0, 0) + real(3) + u16(0) + u32(0) + u32(0)) +
           record(0x08, cell(1, 0) + wide(u"abc") + u16(0) + u32(0) + u32(0)) +
           record(0x0B, cell(2, 0) + QByteArray(1, '\x2A') + u16(0) + u32(0) + u32(0)) +
           record(0x0A, cell(3, 0) + QByteArray(1, '\0') + u16(0) + u32(0) + u32(0)) +
           record(0x3E, cell(4, 0) + QByteArray(1, '\0') + wide(u"rico")) + record(0x0E, u32(0) + "\x07") +
           record(0x92) + record(0x82);
}

QByteArray stringsPart()
{
    return record(0x9F, u32(2) + u32(2)) + record(0x13, QByteArray(1, '\0') + wide(u"C\u00f3digo")) +
           record(0x13, QByteArray(1, '\1') + wide(u"Descripci\u00f3n") + u32(1) + u16(0) + u16(1)) +
           record(0xA0);
}

QByteArray stylesPart()
{
    return record(0x116) + record(0x267, u32(1)) + record(0x2C, u16(164) + wide(u"dd/mm/yyyy hh:mm")) +
           record(0x268) + record(0x269, u32(2)) + record(0x2F, u16(0xFFFF) + u16(0) + QByteArray(12, '\0')) +
           record(0x2F, u16(0) + u16(164) + QByteArray(12, '\0')) + record(0x26A) + record(0x117);
}

QByteArray workbookPart()
{
    return record(0x83) + record(0x99, u32(0) + u32(0) + wide(u"ThisWorkbook")) + record(0x8F) +
           record(0x9C, u32(0) + u32(1) + wide(u"rId1") + wide(u"Factura")) +
           record(0x9C, u32(1) + u32(2) + wide(u"rId1") + wide(u"Oculta")) + record(0x90) + record(0x84);
}

struct Part {
    const char *name;
    QByteArray bytes;
};

const Part &part(size_t i)
{
    static const Part parts[] = {
        {"xl/worksheets/sheet1.bin", sheetPart()},
        {"xl/sharedStrings.bin", stringsPart()},
        {"xl/styles.bin", stylesPart()},
        {"xl/workbook.bin", workbookPart()},
        {"_rels/.rels",
         R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.bin"/>
</Relationships>)"},
        {"xl/_rels/workbook.bin.rels",
         R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.bin"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.bin"/>
<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.bin"/>
</Relationships>)"},
    };
    return parts[i];
}
constexpr size_t PartCount = 6;
constexpr size_t FuzzedParts = 4; // the first four parts

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
    for (size_t i = 0; ok && i < PartCount; ++i) {
        const Part &p = part(i);
        const void *bytes = i == fuzzed ? static_cast<const void *>(data) : p.bytes.constData();
        const size_t length = i == fuzzed ? size : size_t(p.bytes.size());
        zip_source_t *source = zip_source_buffer(zip, bytes, length, 0);
        const zip_int64_t index = source ? zip_file_add(zip, p.name, source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(source);
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
    const QString path = fuzz::writeInput(QStringLiteral("fuzz_xlsb_part.xlsb"), zip.constData(), zip.size());
    if (!path.isEmpty()) fuzz::readWorkbook(path, 8, 8);
    return 0;
}
