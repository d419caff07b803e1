// The workbook reader: cell texts of every kind from every producer in both locales, the first
// worksheet only, and every kind of bad input ending as a described failure.
#include "common/ExpectedInvoice.h"
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "data/VbFormat.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/xlsx/XlsxReader.h"
#include "workbook/clEcxel.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <zip.h>

namespace {

const QString AbrirSource = QStringLiteral("[clExcel.Abrir]");
const QString LeerCeldaSource = QStringLiteral("[clExcel.LeerCelda]");

QString fixture(const QString &name)
{
    return QDir(QStringLiteral(PLANEXO_TEST_DATA_DIR)).filePath(name);
}

// Texts of rows 1..rows, columns 1..cols.
QVector<QStringList> readAll(clEcxel &reader, int rows, int cols)
{
    QVector<QStringList> out;
    for (long r = 1; r <= rows; ++r) {
        QStringList row;
        for (long c = 1; c <= cols; ++c)
            row << reader.LeerCelda(r, c);
        out << row;
    }
    return out;
}

// The error Abrir throws for a file; number 0 when it opens.
PlanexoError openError(const QString &path)
{
    clEcxel reader;
    reader.setArchivo(path);
    try {
        reader.Abrir();
    } catch (const PlanexoError &e) {
        // A failed open leaves no sheet behind.
        if (!reader.LeerCelda(1, 1).isEmpty())
            return PlanexoError(-1, QStringLiteral("a sheet stayed open after the failure"));
        return e;
    }
    return PlanexoError(0, QStringLiteral("opened"));
}

// A generated package: a workbook whose sheet part decompresses to `size` bytes of repeated
// cells, written through a callback so that the test never holds it in memory.
struct BombSource {
    QByteArray head, body, tail;
    uint64_t size = 0, offset = 0;

    zip_int64_t read(char *out, uint64_t len)
    {
        uint64_t done = 0;
        const uint64_t bodyEnd = size - uint64_t(tail.size());
        while (done < len && offset < size) {
            const char *from;
            uint64_t available;
            if (offset < uint64_t(head.size())) {
                from = head.constData() + offset;
                available = uint64_t(head.size()) - offset;
            } else if (offset < bodyEnd) {
                const uint64_t at = (offset - uint64_t(head.size())) % uint64_t(body.size());
                from = body.constData() + at;
                available = std::min(uint64_t(body.size()) - at, bodyEnd - offset);
            } else {
                from = tail.constData() + (offset - bodyEnd);
                available = size - offset;
            }
            const uint64_t n = std::min(available, len - done);
            memcpy(out + done, from, n);
            done += n;
            offset += n;
        }
        return zip_int64_t(done);
    }

    static zip_int64_t callback(void *state, void *data, zip_uint64_t len, zip_source_cmd_t cmd)
    {
        auto *self = static_cast<BombSource *>(state);
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            self->offset = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return self->read(static_cast<char *>(data), len);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto *st = static_cast<zip_stat_t *>(data);
            zip_stat_init(st);
            st->size = self->size;
            st->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return 2 * sizeof(int);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            return -1;
        }
    }
};

bool addText(zip_t *zip, const char *name, const QByteArray &text)
{
    void *copy = malloc(size_t(text.size()));
    memcpy(copy, text.constData(), size_t(text.size()));
    zip_source_t *src = zip_source_buffer(zip, copy, zip_uint64_t(text.size()), 1);
    return src && zip_file_add(zip, name, src, ZIP_FL_OVERWRITE) >= 0;
}

bool writeBomb(const QString &path, uint64_t sheetBytes)
{
    const QByteArray ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    bool ok = addText(zip, "xl/workbook.xml",
                      "<workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rel +
                          "\"><sheets><sheet name=\"a\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>") &&
              addText(zip, "xl/_rels/workbook.xml.rels",
                      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                      "<Relationship Id=\"rId1\" Type=\"" +
                          rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>");
    BombSource bomb;
    bomb.head = "<worksheet xmlns=\"" + ns + "\"><sheetData>";
    bomb.body = "<row><c><v>1</v></c></row>";
    bomb.tail = "</sheetData></worksheet>";
    // Whole rows only, so that the part is well-formed at any size.
    const uint64_t rows = (sheetBytes + uint64_t(bomb.body.size()) - 1) / uint64_t(bomb.body.size());
    bomb.size = uint64_t(bomb.head.size()) + rows * uint64_t(bomb.body.size()) + uint64_t(bomb.tail.size());
    zip_source_t *src = zip_source_function(zip, &BombSource::callback, &bomb);
    ok = ok && src && zip_file_add(zip, "xl/worksheets/sheet1.xml", src, 0) >= 0;
    if (!ok) {
        zip_discard(zip);
        return false;
    }
    return zip_close(zip) == 0;
}

// A workbook whose sheet holds `rows` rows of a shared string, an inline string (written as CDATA
// when cdata is set), a number and a boolean: a sheet part of several mebibytes.
bool writeLongSheet(const QString &path, int rows, bool cdata)
{
    const QByteArray ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    QByteArray sst = "<sst xmlns=\"" + ns + "\">";
    for (int i = 0; i < 7; ++i)
        sst += "<si><t>Marca " + QByteArray::number(i) + " ñ</t></si>";
    sst += "</sst>";
    QByteArray sheet = "<worksheet xmlns=\"" + ns + "\"><sheetData>\n";
    for (int r = 1; r <= rows; ++r) {
        const QByteArray n = QByteArray::number(r);
        const QByteArray inlineText = cdata ? "<![CDATA[fila </row> " + n + "]]>" : "fila &lt;/row&gt; " + n;
        sheet += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>" + QByteArray::number(r % 7) +
                 "</v></c><c r=\"B" + n + "\" t=\"inlineStr\"><is><t>" + inlineText +
                 "</t></is></c><c r=\"C" + n + "\"><v>" + n + ".5</v></c><c r=\"D" + n + "\" t=\"b\"><v>" +
                 QByteArray::number(r % 2) + "</v></c></row>\n";
    }
    sheet += "</sheetData></worksheet>";
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    const bool ok =
        addText(zip, "xl/workbook.xml",
                "<workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rel +
                    "\"><sheets><sheet name=\"a\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>") &&
        addText(zip, "xl/_rels/workbook.xml.rels",
                "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"" +
                    rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
                    rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>") &&
        addText(zip, "xl/sharedStrings.xml", sst) && addText(zip, "xl/worksheets/sheet1.xml", sheet);
    if (!ok) {
        zip_discard(zip);
        return false;
    }
    return zip_close(zip) == 0;
}

// Rewrites the uncompressed size a package declares for one part (central directory and local
// header), as a crafted bomb would, to hide how much it holds.
bool understateSize(const QString &path, const QByteArray &part, uint32_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return false;
    QByteArray data = file.readAll();
    auto le16 = [&](qsizetype at) { return uint32_t(uchar(data[at])) | uint32_t(uchar(data[at + 1])) << 8; };
    auto le32 = [&](qsizetype at) { return le16(at) | le16(at + 2) << 16; };
    auto put32 = [&](qsizetype at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    bool found = false;
    for (qsizetype cd = data.indexOf("PK\x01\x02"); cd >= 0; cd = data.indexOf("PK\x01\x02", cd + 4)) {
        const uint32_t nameLength = le16(cd + 28);
        if (data.mid(cd + 46, nameLength) != part) continue;
        put32(cd + 24, size);
        put32(qsizetype(le32(cd + 42)) + 22, size);
        found = true;
    }
    return found && file.seek(0) && file.write(data) == data.size();
}

// The package rewritten without compression.
QByteArray storedCopy(const QString &path)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("stored.xlsx"));
    int error = 0;
    zip_t *in = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!in) return {};
    zip_t *out = zip_open(QFile::encodeName(target).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!out) {
        zip_discard(in);
        return {};
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(in, 0); ++i) {
        zip_source_t *src = zip_source_zip(out, in, zip_uint64_t(i), 0, 0, -1);
        const zip_int64_t added = src ? zip_file_add(out, zip_get_name(in, zip_uint64_t(i), 0), src, 0) : -1;
        if (added < 0) {
            zip_discard(out);
            zip_discard(in);
            return {};
        }
        zip_set_file_compression(out, zip_uint64_t(added), ZIP_CM_STORE, 0);
    }
    const bool closed = zip_close(out) == 0;
    zip_discard(in);
    QFile file(target);
    return closed && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A package of one sheet with the given sheet and shared-strings parts (empty: left out).
bool writePackage(const QString &path, const QByteArray &sheet, const QByteArray &strings)
{
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    const bool ok =
        addText(zip, "xl/workbook.xml",
                "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"" +
                    rel + "\"><sheets><sheet name=\"a\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>") &&
        addText(zip, "xl/_rels/workbook.xml.rels",
                "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"" +
                    rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>") &&
        addText(zip, "xl/worksheets/sheet1.xml", sheet) &&
        (strings.isEmpty() || addText(zip, "xl/sharedStrings.xml", strings));
    if (!ok) {
        zip_discard(zip);
        return false;
    }
    return zip_close(zip) == 0;
}

// Little-endian fields and BIFF8 records, for legacy workbooks built byte by byte.
void put16(QByteArray &out, uint32_t v)
{
    out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}

void put32(QByteArray &out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

QByteArray biffRecord(uint32_t type, const QByteArray &data)
{
    QByteArray out;
    put16(out, type);
    put16(out, uint32_t(data.size()));
    return out + data;
}

// UTF-16LE units as a BIFF8 wide string stores them, lone surrogates included.
QByteArray wideChars(std::initializer_list<char16_t> units)
{
    QByteArray out;
    for (const char16_t u : units)
        put16(out, u);
    return out;
}

// A BIFF8 wide string with a 16-bit length: length, flags (wide), characters.
QByteArray wideString(std::initializer_list<char16_t> units)
{
    QByteArray out;
    put16(out, uint32_t(units.size()));
    out.append(char(1));
    return out + wideChars(units);
}

// A compound file holding one "Workbook" stream: the globals (BOF, the sheet, `globals`, EOF), then
// the worksheet (BOF, `cells`, EOF), padded to the size that keeps it out of the mini stream.
QByteArray legacyWorkbook(const QByteArray &globals, const QByteArray &cells)
{
    auto bof = [](uint32_t kind) {
        QByteArray d;
        put16(d, 0x0600);
        put16(d, kind);
        return biffRecord(0x0809, d + QByteArray(12, '\0'));
    };
    QByteArray sheetName;
    put32(sheetName, 0); // offset of the worksheet's BOF, set below
    put16(sheetName, 0);
    sheetName.append(char(1)).append(char(0)).append('H');
    QByteArray stream = bof(0x0005) + biffRecord(0x0085, sheetName) + globals + biffRecord(0x000A, {});
    const uint32_t sheetAt = uint32_t(stream.size());
    for (int i = 0; i < 4; ++i)
        stream[24 + i] = char((sheetAt >> (8 * i)) & 0xFF); // after BOF and the sheet's record header
    stream += bof(0x0010) + cells + biffRecord(0x000A, {});
    stream.append(
        QByteArray(std::max<qsizetype>(4096, (stream.size() + 511) / 512 * 512) - stream.size(), '\0'));

    // Sector 0: allocation table; 1: directory; 2 on: the stream.
    const uint32_t sectors = uint32_t(stream.size() / 512);
    constexpr uint32_t Free = 0xFFFFFFFF, End = 0xFFFFFFFE;
    QByteArray header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.append(QByteArray(16, '\0'));
    put16(header, 0x3E);
    put16(header, 3);
    put16(header, 0xFFFE);
    put16(header, 9);
    put16(header, 6);
    header.append(QByteArray(10, '\0'));
    put32(header, 1); // allocation table sectors
    put32(header, 1); // directory
    put32(header, 0);
    put32(header, 4096); // mini stream cutoff
    put32(header, End);  // no mini allocation table
    put32(header, 0);
    put32(header, End); // no extra allocation table sectors
    put32(header, 0);
    put32(header, 0); // the allocation table is sector 0
    while (header.size() < 512)
        put32(header, Free);
    QByteArray fat;
    put32(fat, 0xFFFFFFFD);
    put32(fat, End);
    for (uint32_t s = 0; s < sectors; ++s)
        put32(fat, s + 1 < sectors ? s + 3 : End);
    while (fat.size() < 512)
        put32(fat, Free);
    auto entry = [](const QString &name, uint32_t type, uint32_t child, uint32_t start, uint32_t size) {
        QByteArray e;
        for (const QChar c : name)
            put16(e, c.unicode());
        e.append(QByteArray(64 - e.size(), '\0'));
        put16(e, uint32_t(name.size() + 1) * 2);
        e.append(char(type)).append(char(1));
        put32(e, Free);
        put32(e, Free);
        put32(e, child);
        e.append(QByteArray(0x74 - e.size(), '\0'));
        put32(e, start);
        put32(e, size);
        put32(e, 0);
        return e;
    };
    QByteArray dir = entry(QStringLiteral("Root Entry"), 5, 1, End, 0) +
                     entry(QStringLiteral("Workbook"), 2, Free, 2, uint32_t(stream.size()));
    dir.append(QByteArray(512 - dir.size(), '\0'));
    return header + fat + dir + stream;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

} // namespace

class TestReader : public QObject {
    Q_OBJECT

  private slots:
    void init() { TestEnv::useComma(); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    void noFileSelected()
    {
        clEcxel reader;
        try {
            reader.Abrir();
            QFAIL("Abrir without a path must fail");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.number(), -2147221494L);
            QCOMPARE(e.description(), QStringLiteral("No hay archivo seleccionado"));
            QCOMPARE(e.source(), AbrirSource);
        }
    }

    void everyProducerGivesTheSameTexts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("commaLocale");
        for (const bool c : {true, false}) {
            const char *locale = c ? "comma" : "point";
            for (const char *file :
                 {"invoice_openpyxl.xlsx", "invoice_xlsxwriter.xlsx", "invoice_libreoffice.xlsx",
                  "invoice_libreoffice.xls", "xls_named.xlsx", "xlsx_named.xls", "invoice_libreoffice.xlsm",
                  "invoice.xlsb", "invoice_inline.xlsb"})
                QTest::addRow("%s %s", file, locale) << QString::fromLatin1(file) << c;
        }
    }

    void everyProducerGivesTheSameTexts()
    {
        QFETCH(QString, file);
        QFETCH(bool, commaLocale);
        commaLocale ? TestEnv::useComma() : TestEnv::usePoint();
        clEcxel reader;
        reader.setArchivo(fixture(file));
        QVERIFY(reader.Abrir());
        const QVector<QStringList> got = readAll(reader, 10, 8);
        const QVector<QStringList> want = expectedInvoice();
        for (int r = 0; r < want.size(); ++r)
            QCOMPARE(got[r], want[r]);
        reader.CerrarArchivo();
    }

    void readsOnlyTheFirstWorksheet_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("a1");
        QTest::newRow("hidden first sheet") << "hidden_first.xlsx"
                                            << "primera hoja";
        QTest::newRow("hidden first sheet, xls") << "hidden_first.xls"
                                                 << "primera hoja";
        QTest::newRow("workbook order, odd name, absolute target, chart sheet skipped") << "odd_order.xlsx"
                                                                                        << "correcta";
    }

    void readsOnlyTheFirstWorksheet()
    {
        QFETCH(QString, file);
        QFETCH(QString, a1);
        clEcxel reader;
        reader.setArchivo(fixture(file));
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), a1);
    }

    // The sheet chooser lists worksheets in workbook order with their hidden mark, and a chosen
    // sheet is read instead of the first; chart sheets are neither listed nor counted.
    void listsAndReadsAChosenWorksheet_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<bool>>("hidden");
        QTest::addColumn<QStringList>("a1");
        QTest::newRow("xlsx") << "hidden_first.xlsx" << QStringList{"Oculta", "Visible"}
                              << QList<bool>{true, false} << QStringList{"primera hoja", "segunda hoja"};
        QTest::newRow("xls") << "hidden_first.xls" << QStringList{"Oculta", "Visible"}
                             << QList<bool>{true, false} << QStringList{"primera hoja", "segunda hoja"};
    }

    void listsAndReadsAChosenWorksheet()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, names);
        QFETCH(QList<bool>, hidden);
        QFETCH(QStringList, a1);
        clEcxel reader;
        reader.setArchivo(fixture(file));
        const WorkbookSheetList sheets = reader.Hojas();
        QCOMPARE(sheets.size(), names.size());
        for (int i = 0; i < sheets.size(); ++i) {
            QCOMPARE(sheets[i].name, names[i]);
            QCOMPARE(sheets[i].hidden, hidden[i]);
            reader.setHoja(i);
            QVERIFY(reader.Abrir());
            QCOMPARE(reader.LeerCelda(1, 1), a1[i]);
        }
        reader.setHoja(int(names.size()));
        try {
            reader.Abrir();
            QFAIL("a sheet past the last one was opened");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.source(), QStringLiteral("[clExcel.Abrir]"));
            QCOMPARE(e.description(), QStringLiteral("El libro no tiene la hoja %1").arg(names.size() + 1));
        }
    }

    void chartSheetsAreNotListed()
    {
        clEcxel reader;
        reader.setArchivo(fixture("odd_order.xlsx"));
        const WorkbookSheetList sheets = reader.Hojas();
        QCOMPARE(sheets.size(), 2);
        QCOMPARE(sheets[0].name, QStringLiteral("  Hoja 'rara' ñ#1!"));
        QCOMPARE(sheets[1].name, QStringLiteral("Sheet1"));
        QVERIFY(!sheets[0].hidden && !sheets[1].hidden);
        reader.setHoja(1);
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("incorrecta"));
        clEcxel none;
        try {
            none.Hojas();
            QFAIL("a reader without a file listed sheets");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(), QStringLiteral("No hay archivo seleccionado"));
        }
    }

    void datesAndNumberFormats_data()
    {
        QTest::addColumn<bool>("commaLocale");
        QTest::addColumn<QStringList>("row1");
        QTest::addColumn<QStringList>("row2");
        QTest::newRow("comma")
            << true
            << QStringList{"15/1/2024", "29/2/2024 14:30:00", "15/1/2024", "15/1/2024", "18:00:00", "12,5",
                           "1234,5",    "1/1/1900 12:00:00",  "-7",        "3",         "12:00:00"}
            << QStringList{"1/1/1900",          "28/2/1900", "1/3/1900", "-1",       "2958466",
                           "6/5/2024 07:08:09", "45306",     "texto",    "16/1/2024"};
        QTest::newRow("point") << false << QStringList{"1/15/2024", "2/29/2024 2:30:00 PM", "1/15/2024",
                                                       "1/15/2024", "6:00:00 PM",           "12.5",
                                                       "1234.5",    "1/1/1900 12:00:00 PM", "-7",
                                                       "3",         "12:00:00 PM"}
                               << QStringList{"1/1/1900", "2/28/1900", "3/1/1900",
                                              "-1",       "2958466",   "5/6/2024 7:08:09 AM",
                                              "45306",    "texto",     "1/16/2024"};
    }

    // Built-in and custom date formats, codes that only look like dates, Excel's 1900 leap-year
    // count, values no date can show, ISO dates, a style index out of range.
    void datesAndNumberFormats()
    {
        QFETCH(bool, commaLocale);
        QFETCH(QStringList, row1);
        QFETCH(QStringList, row2);
        commaLocale ? TestEnv::useComma() : TestEnv::usePoint();
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("dates.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 11).first(), row1);
        QCOMPARE(readAll(reader, 2, 9).last(), row2);

        // The 1904 date system.
        reader.setArchivo(fixture(QStringLiteral("dates1904.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1),
                 commaLocale ? QStringLiteral("1/1/1904") : QStringLiteral("1/1/1904"));
        QCOMPARE(reader.LeerCelda(1, 2),
                 commaLocale ? QStringLiteral("15/1/2024") : QStringLiteral("1/15/2024"));
        QCOMPARE(reader.LeerCelda(1, 3), commaLocale ? QStringLiteral("15/1/2024 12:00:00")
                                                     : QStringLiteral("1/15/2024 12:00:00 PM"));
    }

    // The LibreOffice copy of the dates sheet gives the same texts, from the same serials and cell
    // formats (its ISO date cell came out as a plain number).
    void datesOfLegacyWorkbooks()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("dates.xls")));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 7).first(), (QStringList{"15/1/2024", "29/2/2024 14:30:00", "15/1/2024",
                                                             "15/1/2024", "18:00:00", "12,5", "1234,5"}));
        QCOMPARE(readAll(reader, 2, 9).last(),
                 (QStringList{"1/1/1900", "28/2/1900", "1/3/1900", "-1", "2958466", "45418,2973263889",
                              "45306", "texto", "16/1/2024"}));
    }

    // The .xls copies LibreOffice wrote read exactly as the originals: a string table split over
    // several records (a 9000-character text among them), numbers stored in every compact form,
    // and the 1904 date system.
    void legacyCopiesReadAsTheOriginals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::newRow("long texts") << "long_texts" << 252 << 4;
        QTest::newRow("numbers") << "numbers" << 31 << 13;
        QTest::newRow("1904 dates") << "dates1904" << 2 << 4;
        QTest::newRow("invoice") << "invoice_openpyxl" << 10 << 8;
    }

    void legacyCopiesReadAsTheOriginals()
    {
        QFETCH(QString, name);
        QFETCH(int, rows);
        QFETCH(int, cols);
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            clEcxel original, copy;
            original.setArchivo(fixture(name + QStringLiteral(".xlsx")));
            copy.setArchivo(fixture(name == QLatin1String("invoice_openpyxl")
                                        ? QStringLiteral("invoice_libreoffice.xls")
                                        : name + QStringLiteral(".xls")));
            QVERIFY(original.Abrir());
            QVERIFY(copy.Abrir());
            const QVector<QStringList> want = readAll(original, rows, cols);
            QVERIFY(!want.first().first().isEmpty());
            QCOMPARE(readAll(copy, rows, cols), want);
        }
    }

    // Excel 2013 and later repeat workbookPr inside extLst as x15:workbookPr, without date1904:
    // the 1904 system stays on (openpyxl reads the same dates from this file).
    void datesOfA1904WorkbookAsExcelWritesIt()
    {
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            clEcxel reader;
            reader.setArchivo(fixture(QStringLiteral("dates1904_excel2013.xlsx")));
            QVERIFY(reader.Abrir());
            QCOMPARE(readAll(reader, 2, 4).last(),
                     c ? QStringList({"15/1/2024", "29/2/2024 14:30:00", "1/1/1904", "1234,5"})
                       : QStringList({"1/15/2024", "2/29/2024 2:30:00 PM", "1/1/1904", "1234.5"}));
        }
    }

    // What Excel reads although the package bends its format: zip entry names with backslashes,
    // a shared-string cell with an empty value (an empty cell, as an empty number is).
    void lenientPackages()
    {
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            clEcxel reader;
            reader.setArchivo(fixture(QStringLiteral("backslash_names.xlsx")));
            QVERIFY(reader.Abrir());
            const QVector<QStringList> want = expectedInvoice();
            QCOMPARE(readAll(reader, 10, 8), want);
            QCOMPARE(reader.Hojas().size(), 1);
            QCOMPARE(reader.Hojas().first().name, QStringLiteral("Factura"));

            reader.setArchivo(fixture(QStringLiteral("empty_shared_value.xlsx")));
            QVERIFY(reader.Abrir());
            QVector<QStringList> emptied = want;
            emptied[1][0].clear();
            QCOMPARE(readAll(reader, 10, 8), emptied);
        }

        // A shared string that is missing is named by the index looked for, however it is written.
        const QByteArray ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing.xlsx"));
        const QByteArray strings = "<sst xmlns=\"" + ns + "\"><si><t>a</t></si><si><t>b</t></si></sst>";
        const auto sheetWith = [&](const QByteArray &cell) {
            return "<worksheet xmlns=\"" + ns +
                   "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c>" + cell +
                   "</row></sheetData></worksheet>";
        };
        QVERIFY(writePackage(path, sheetWith("<c r=\"B1\" t=\"s\"><v> 007 </v></c>"), strings));
        QCOMPARE(
            openError(path).description(),
            QStringLiteral("El libro está dañado: la celda B1 usa el texto compartido 7, que no existe"));
        QVERIFY(writePackage(path, sheetWith("<c r=\"C1\" t=\"s\"><v>-1</v></c>"), strings));
        QCOMPARE(openError(path).description(),
                 QStringLiteral("El libro está dañado: la celda C1 tiene un valor no válido (-1)"));
        // Empty values of every form are empty cells.
        QVERIFY(writePackage(path,
                             sheetWith("<c r=\"B1\" t=\"s\"><v></v></c><c r=\"C1\" t=\"s\"><v> </v></c>"
                                       "<c r=\"D1\" t=\"s\"/><c r=\"E1\" t=\"s\"><v>0</v></c>"),
                             strings));
        clEcxel reader;
        reader.setArchivo(path);
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 5).first(), (QStringList{"b", "", "", "", "a"}));
    }

    // The binary format: every worksheet of the npm xlsx package's workbook with its hidden mark,
    // the values of every kind of cell; LibreOffice reads the same values from these files.
    void binaryWorkbooks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("commaLocale");
        for (const bool c : {true, false})
            for (const char *file : {"invoice.xlsb", "invoice_inline.xlsb", "formulas.xlsb"})
                QTest::addRow("%s %s", file, c ? "comma" : "point") << QString::fromLatin1(file) << c;
    }

    void binaryWorkbooks()
    {
        QFETCH(QString, file);
        QFETCH(bool, commaLocale);
        commaLocale ? TestEnv::useComma() : TestEnv::usePoint();
        const bool c = commaLocale;
        // formulas.xlsb: cells of row 3 are formulas with cached values, the invoice's numbers are
        // in Excel's compact forms, and the workbook is in the 1904 date system.
        const bool edited = file == QLatin1String("formulas.xlsb");
        auto day = [c](int d, int m, int y) {
            return c ? QStringLiteral("%1/%2/%3").arg(d).arg(m).arg(y)
                     : QStringLiteral("%1/%2/%3").arg(m).arg(d).arg(y);
        };
        clEcxel reader;
        reader.setArchivo(fixture(file));
        const WorkbookSheetList sheets = reader.Hojas();
        QCOMPARE(sheets.size(), 3);
        QCOMPARE(sheets[0].name, QStringLiteral("Factura"));
        QCOMPARE(sheets[1].name, QStringLiteral("Oculta"));
        QCOMPARE(sheets[2].name, QStringLiteral("Valores"));
        QVERIFY(!sheets[0].hidden && sheets[1].hidden && !sheets[2].hidden);

        QVERIFY(reader.Abrir());
        QVector<QStringList> invoice = expectedInvoice();
        if (edited) {
            // Four years and a day later, as LibreOffice shows them too.
            const QStringList dates{day(16, 1, 2028), day(1, 3, 2028), day(1, 1, 2028),   day(2, 3, 2028),
                                    day(1, 7, 2028),  day(2, 7, 2028), day(25, 12, 2028), day(3, 1, 2029)};
            for (int r = 0; r < dates.size(); ++r)
                invoice[r + 1][6] = dates[r];
        }
        QCOMPARE(readAll(reader, 10, 8), invoice);

        reader.setHoja(1);
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 2, 2), (QVector<QStringList>{{"hoja oculta", ""}, {"", ""}}));

        reader.setHoja(2);
        QVERIFY(reader.Abrir());
        const QString t = c ? QStringLiteral("Verdadero") : QStringLiteral("True");
        const QString f = c ? QStringLiteral("Falso") : QStringLiteral("False");
        auto n = [c](const char *point) {
            QString s = QString::fromLatin1(point);
            if (c) s.replace('.', ',');
            return s;
        };
        QCOMPARE(readAll(reader, 1, 9).first(),
                 (QStringList{t, f, "línea 1\nlínea 2", QString::fromUtf8("\xF0\x9F\x98\x80 ñ"), "", "1E-07",
                              n("1.23456789012346E+17"), n("-0.001"), ""}));
        const QStringList errors{"#N/A", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#NULL!"};
        for (int col = 0; col < errors.size(); ++col) {
            try {
                reader.LeerCelda(2, col + 1);
                QFAIL("an error value must fail");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.number(), 13L);
                QCOMPARE(e.source(), LeerCeldaSource);
                QCOMPARE(e.description(),
                         QStringLiteral("No coinciden los tipos: la celda %1 contiene el error %2")
                             .arg(QChar('A' + col) + QStringLiteral("2"), errors[col]));
            }
        }
        QCOMPARE(reader.LeerCelda(2, 8), QString());
        QCOMPARE(reader.LeerCelda(3, 1), QStringLiteral("3"));
        QCOMPARE(reader.LeerCelda(3, 2), QStringLiteral("abc"));
        QCOMPARE(reader.LeerCelda(3, 4), t);
        QVERIFY_THROWS_EXCEPTION(PlanexoError, reader.LeerCelda(3, 5));
        QCOMPARE(reader.LeerCelda(3, 6), edited ? day(16, 1, 2028) : day(15, 1, 2024));
        QCOMPARE(reader.LeerCelda(3, 7), QStringLiteral("-7"));
        QCOMPARE(reader.LeerCelda(3, 8), n("0.125"));
        QCOMPARE(reader.LeerCelda(4, 1), QString());
        QCOMPARE(reader.LeerCelda(5, 1), QStringLiteral("después de una fila vacía"));
        QCOMPARE(reader.LeerCelda(5, 2), QString());
    }

    // Parts longer than the piece the reader inflates at a time: records straddle the pieces.
    void longBinaryWorkbook()
    {
        const QStringList prices{"0,5", "0,75", "1", "1,25", "1,5", "1,75", "2", "2,25"};
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("long.xlsb")));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 5).first(),
                 (QStringList{"Codigo", "Descripcion", "Valor", "Cantidad", ""}));
        for (int i = 1; i <= 12000; ++i) {
            const QStringList want{QStringLiteral("ART-%1").arg(100000 + i),
                                   QStringLiteral("Artículo de la lista larga %1").arg(i % 4), prices[i % 8],
                                   QString::number(i % 10)};
            QStringList got;
            for (long c = 1; c <= 4; ++c)
                got << reader.LeerCelda(i + 1, c);
            if (got != want) QCOMPARE(got, want);
        }
        QCOMPARE(reader.LeerCelda(12002, 1), QString());
        QCOMPARE(reader.cellsHint(), size_t(12001 * 4));
    }

    // A damaged binary workbook fails with a description of what is wrong, never as a sound one.
    void damagedBinaryWorkbooks_data()
    {
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("description");
        const QByteArray sheet = "xl/worksheets/sheet1.bin";
        QByteArray isst = "\x07\x0C";
        put32(isst, 0);
        put32(isst, 0);
        put32(isst, 77);
        const QByteArray rowHeader = QByteArray("\x00\x19", 2) + QByteArray(25, '\0');
        QTest::newRow("shared string past the table")
            << sheet << rowHeader + isst
            << "El libro está dañado: la celda A1 usa el texto compartido 77, que no existe";
        QTest::newRow("record longer than the part")
            << sheet << rowHeader + QByteArray("\x05\x10\x00\x00", 4)
            << "El libro está dañado: la parte xl/worksheets/sheet1.bin termina antes de tiempo";
        QTest::newRow("record size that never ends")
            << sheet << QByteArray("\x05\xFF\xFF\xFF\xFF\x01", 6)
            << "El libro está dañado: la parte xl/worksheets/sheet1.bin tiene un registro no válido";
        QTest::newRow("cell shorter than its value")
            << sheet << rowHeader + QByteArray("\x05\x0A", 2) + QByteArray(10, '\0')
            << "El libro está dañado: la parte xl/worksheets/sheet1.bin tiene un registro no válido (tipo 5)";
        QByteArray farRow = rowHeader;
        farRow[2] = char(0x00);
        farRow[4] = char(0x10); // row 1048577
        QTest::newRow("row past Excel's last")
            << sheet << farRow + QByteArray("\x04\x09", 2) + QByteArray(8, '\0') + QByteArray("\x01", 1)
            << "La hoja usa la fila 1048577, columna 1, fuera del máximo de Excel (1048576 filas por 16384 "
               "columnas)";
        QByteArray nan = QByteArray("\x05\x10", 2) + QByteArray(8, '\0');
        nan += QByteArray("\x00\x00\x00\x00\x00\x00\xF8\x7F", 8);
        QTest::newRow("number that is none")
            << sheet << rowHeader + nan << "El libro está dañado: la celda A1 tiene un valor no válido";
        QByteArray bundle = "\x9C\x01\x06";
        put32(bundle, 0);
        put16(bundle, 0);
        QTest::newRow("sheet entry cut short")
            << QByteArray("xl/workbook.bin") << bundle
            << "El libro está dañado: la parte xl/workbook.bin tiene un registro no válido (tipo 156)";
        QTest::newRow("workbook without sheets")
            << QByteArray("xl/workbook.bin") << QByteArray("\x83\x01\x00\x84\x01\x00", 6)
            << "El libro no tiene ninguna hoja de cálculo";
        QByteArray sst = "\x13\x09";
        sst.append(char(0));
        put32(sst, 100); // a hundred characters in four bytes
        sst += "abcd";
        QTest::newRow("shared string cut short")
            << QByteArray("xl/sharedStrings.bin") << sst
            << "El libro está dañado: la parte xl/sharedStrings.bin tiene un registro no válido (tipo 19)";
    }

    void damagedBinaryWorkbooks()
    {
        QFETCH(QByteArray, part);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, description);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("damaged.xlsb"));
        QVERIFY(QFile::copy(fixture(QStringLiteral("invoice.xlsb")), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        int error = 0;
        zip_t *zip = zip_open(QFile::encodeName(path).constData(), 0, &error);
        QVERIFY(zip);
        QVERIFY(addText(zip, part.constData(), bytes));
        QVERIFY(zip_close(zip) == 0);
        const PlanexoError e = openError(path);
        QCOMPARE(e.description(), description);
        QCOMPARE(e.number(), 1004L);
        QCOMPARE(e.source(), AbrirSource);
    }

    void dateTextFollowsTheLocale()
    {
        // Whole days are remembered per locale: a change of locale must not reuse the old texts.
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("invoice_openpyxl.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(2, 7), QStringLiteral("15/1/2024"));
        TestEnv::usePoint();
        QCOMPARE(reader.LeerCelda(2, 7), QStringLiteral("1/15/2024"));
        QCOMPARE(reader.LeerCelda(2, 4), QStringLiteral("1234.5"));
    }

    void formulasBooleansAndErrors_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xlsx") << "formulas.xlsx";
        QTest::newRow("xls") << "formulas.xls";
    }

    void formulasBooleansAndErrors()
    {
        QFETCH(QString, file);
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            clEcxel reader;
            reader.setArchivo(fixture(file));
            QVERIFY(reader.Abrir());
            // Cached results of number, text and boolean formulas; a formula without a result is
            // empty (LibreOffice computed it when it wrote the .xls), as is an empty text result.
            const QString noResult = file.endsWith(QLatin1String(".xls")) ? QStringLiteral("3") : QString();
            QCOMPARE(
                readAll(reader, 1, 8).first(),
                (QStringList{"3", "abc", c ? "Verdadero" : "True", c ? "Falso" : "False", noResult, "",
                             c ? "0,001" : "0.001", c ? "1,23456789012346E+17" : "1.23456789012346E+17"}));
            QCOMPARE(reader.LeerCelda(2, 5), QStringLiteral("2"));
        }
        clEcxel reader;
        reader.setArchivo(fixture(file));
        QVERIFY(reader.Abrir());
        const QStringList errors{"#N/A", "#DIV/0!", "#VALUE!", "#REF!"};
        for (int c = 0; c < errors.size(); ++c) {
            try {
                reader.LeerCelda(2, c + 1);
                QFAIL("an error value must fail");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.number(), 13L);
                QCOMPARE(e.source(), LeerCeldaSource);
                QCOMPARE(e.description(),
                         QStringLiteral("No coinciden los tipos: la celda %1 contiene el error %2")
                             .arg(QChar('A' + c) + QStringLiteral("2"), errors[c]));
            }
        }
        // The sheet stays usable after a failing cell.
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("3"));
    }

    void stringsOfEveryKind()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("strings.xlsx")));
        QVERIFY(reader.Abrir());
        // Rich-text runs joined, phonetic runs left out, escapes decoded, blanks kept.
        QCOMPARE(readAll(reader, 1, 6).first(), (QStringList{"Negrita y normal", "漢字", "línea 1\r\nlínea 2",
                                                             "a_x000D_b", "", "  con blancos  "}));
        // Inline strings; rows and cells without a reference follow the previous ones.
        QCOMPARE(readAll(reader, 2, 4).last(), (QStringList{"en línea", "ab", "", "4"}));
        QCOMPARE(readAll(reader, 6, 4).mid(4),
                 (QVector<QStringList>{{"fila 5", "", "5", "6"}, {"", "7", "", ""}}));

        reader.setArchivo(fixture(QStringLiteral("richtext_xlsxwriter.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("Texto en negrita y rojo"));
        QCOMPARE(readAll(reader, 2, 3).last(), (QStringList{"3", "abc", "Verdadero"}));

        reader.setArchivo(fixture(QStringLiteral("inline_xlsxwriter.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 2, 2),
                 (QVector<QStringList>{{"Codigo", "Descripción"}, {"X-1", "en línea"}}));
    }

    // Forms of XML that other producers write: prefixed elements, single quotes, comments,
    // processing instructions, CDATA, character references, a line end inside a value, UTF-16.
    void xmlForms()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("xml_features.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 4).first(),
                 (QStringList{"a<b & c", QStringLiteral("ññ&<>\"'") + QString::fromUtf8("\xF0\x9F\x98\x80"),
                              "42", "línea 1\nlínea 2"}));
        reader.setArchivo(fixture(QStringLiteral("utf16.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 2).first(), (QStringList{"texto ñ", "1,5"}));
    }

    // A lone UTF-16 surrogate, which legacy strings and _xHHHH_ escapes can hold, arrives as U+FFFD
    // and takes no other character with it; a valid pair stays a pair, also split across records.
    void loneSurrogates()
    {
        const QString r(QChar::ReplacementCharacter);
        const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTemporaryDir dir;

        QByteArray sst;
        put32(sst, 6);
        put32(sst, 6);
        sst += wideString({u'a', 0xD800, u'b'}) + wideString({0xDC00, u'z'}) +
               wideString({u'x', 0xD83D, 0xDE00, u'y'}) + wideString({u'f', u'i', u'n', 0xD800}) +
               wideString({0xDE00, 0xD83D});
        // The sixth string goes on in a CONTINUE record between the halves of a pair.
        put16(sst, 4);
        sst += char(1) + wideChars({u'p', 0xD83D});
        const QByteArray globals =
            biffRecord(0x00FC, sst) + biffRecord(0x003C, char(1) + wideChars({0xDE00, u'!'}));
        QByteArray cells;
        for (uint32_t i = 0; i < 6; ++i) {
            QByteArray d;
            put16(d, 0);
            put16(d, i);
            put16(d, 0);
            put32(d, i);
            cells += biffRecord(0x00FD, d);
        }
        QByteArray label, formula;
        for (QByteArray *cell : {&label, &formula}) {
            put16(*cell, 1);
            put16(*cell, cell == &label ? 0 : 1);
            put16(*cell, 0);
        }
        label += wideString({u'L', 0xDBFF, u'!'});
        formula += QByteArray(6, '\0'); // a text result, given by the STRING record that follows
        put16(formula, 0xFFFF);
        formula += QByteArray(8, '\0');
        cells += biffRecord(0x0204, label) + biffRecord(0x0006, formula) +
                 biffRecord(0x0207, wideString({0xDFFF, u'y'}));
        const QString xls = dir.filePath(QStringLiteral("surrogates.xls"));
        QVERIFY(writeFile(xls, legacyWorkbook(globals, cells)));

        clEcxel reader;
        reader.setArchivo(xls);
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 2, 6), (QVector<QStringList>{{"a" + r + "b", r + "z", "x" + smile + "y",
                                                               "fin" + r, r + r, "p" + smile + "!"},
                                                              {"L" + r + "!", r + "y", "", "", "", ""}}));

        // The same through the package's escapes and character references (a pair given by two
        // references, which XML does not allow but some writers use, is the character).
        const QByteArray ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
        const QString xlsx = dir.filePath(QStringLiteral("surrogates.xlsx"));
        QVERIFY(writePackage(
            xlsx,
            "<worksheet xmlns=\"" + ns +
                "\"><sheetData><row r=\"1\">"
                "<c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"inlineStr\"><is><t>_xDC00_q</t></is></c>"
                "<c r=\"E1\" "
                "t=\"str\"><f>D1</f><v>&#xD83D;&#56832;&#xDBFF;</v></c></row></sheetData></worksheet>",
            "<sst xmlns=\"" + ns +
                "\"><si><t>a_xD800_b</t></si><si><t>_xD83D__xDE00_</t></si>"
                "<si><r><t>c&#xD800;</t></r><r><t>d</t></r></si></sst>"));
        reader.setArchivo(xlsx);
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 5).first(),
                 (QStringList{"a" + r + "b", smile, "c" + r + "d", r + "q", smile + r}));

        // Surrogates encoded in UTF-8, or in a UTF-16 part, are no characters either.
        const QByteArray head = "<worksheet xmlns=\"" + ns + "\"><sheetData><row><c t=\"inlineStr\"><is><t>g";
        const QByteArray tail = "h</t></is></c></row></sheetData></worksheet>";
        QByteArray utf16("\xFF\xFE", 2);
        for (const char c : head)
            put16(utf16, uchar(c));
        utf16 += wideChars({0xD800});
        for (const char c : tail)
            put16(utf16, uchar(c));
        for (const QByteArray &sheet : QList<QByteArray>{head + "\xED\xA0\x80" + tail, utf16}) {
            QVERIFY(writePackage(xlsx, sheet, {}));
            reader.setArchivo(xlsx);
            QVERIFY(reader.Abrir());
            const QString text = reader.LeerCelda(1, 1);
            QVERIFY2(QRegularExpression(QStringLiteral("^g\uFFFD+h$")).match(text).hasMatch(),
                     qPrintable(text));
        }
    }

    void cellsOutOfOrderAndRepeated()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("unordered.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 3, 2), (QVector<QStringList>{{"12", ""}, {"", ""}, {"31", "32"}}));
    }

    void sheetLayout()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("layout.xlsx")));
        QVERIFY(reader.Abrir());
        // A gap in the headings, a row of blanks only, a cell far from the rest.
        QCOMPARE(readAll(reader, 4, 4), (QVector<QStringList>{{"Codigo", "Descripcion", "", "Total"},
                                                              {"A-1", "uno", "", "10"},
                                                              {"", "   ", "", ""},
                                                              {"A-4", "", "", ""}}));
        QCOMPARE(reader.LeerCelda(9, 6), QStringLiteral("lejos"));
    }

    void beyondTheUsedRange()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("invoice_xlsxwriter.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(10, 1), QString());
        QCOMPARE(reader.LeerCelda(1, 9), QString());
        QCOMPARE(reader.LeerCelda(1048576, 16384), QString());
        for (const auto &[row, col] :
             {std::pair{0L, 1L}, {1L, 0L}, {1048577L, 1L}, {1L, 16385L}, {-5L, 3L}}) {
            try {
                reader.LeerCelda(row, col);
                QFAIL("a cell outside the sheet must fail");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.source(), LeerCeldaSource);
                QCOMPARE(e.number(), 1004L);
            }
        }

        // The last cell of Excel's grid; the claimed dimension allocates nothing.
        reader.setArchivo(fixture(QStringLiteral("last_cell.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1048576, 16384), QStringLiteral("1"));
        QCOMPARE(reader.LeerCelda(1048576, 16383), QString());
        QCOMPARE(reader.LeerCelda(1, 1), QString());
    }

    void lifecycle()
    {
        clEcxel reader;
        // No sheet open: empty texts, writing does nothing, closing never fails.
        QCOMPARE(reader.LeerCelda(1, 1), QString());
        reader.EscribirCelda(1, 1, QStringLiteral("x"));
        QCOMPARE(reader.LeerCelda(1, 1), QString());
        reader.CerrarArchivo();
        reader.CerrarArchivo();

        reader.setArchivo(fixture(QStringLiteral("invoice_openpyxl.xlsx")));
        QCOMPARE(reader.archivo(), fixture(QStringLiteral("invoice_openpyxl.xlsx")));
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("Codigo"));
        reader.EscribirCelda(1, 1, QStringLiteral("nuevo"));
        reader.EscribirCelda(50, 3, QStringLiteral("lejos"));
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("nuevo"));
        QCOMPARE(reader.LeerCelda(50, 3), QStringLiteral("lejos"));
        QCOMPARE(reader.LeerCelda(1, 2), QStringLiteral("Descripcion"));
        reader.CerrarArchivo();
        QCOMPARE(reader.LeerCelda(1, 1), QString());

        // Opening again reads the file afresh; the written texts were never saved.
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("Codigo"));
        // A failed open closes what was open before.
        reader.setArchivo(fixture(QStringLiteral("not_a_workbook.png")));
        QVERIFY_THROWS_EXCEPTION(PlanexoError, reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QString());
        reader.CerrarArchivo();
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("description");
        const QString missing = fixture(QStringLiteral("no existe.xlsx"));
        QTest::newRow("missing") << missing << "No se encuentra el archivo " + missing;
        QTest::newRow("folder") << fixture(QString())
                                << fixture(QString()) + " es una carpeta, no un libro de Excel";
        QTest::newRow("empty") << fixture("empty.xlsx")
                               << "El archivo " + fixture("empty.xlsx") + " está vacío";
        // (a text file, whatever its name, reads as a delimited table)
        QTest::newRow("image") << fixture("not_a_workbook.png")
                               << "El archivo " + fixture("not_a_workbook.png") +
                                      " no es un libro de Excel: es una imagen PNG";
        QTest::newRow("truncated xlsx")
            << fixture("truncated.xlsx") << "El libro está dañado o incompleto: no es un paquete zip válido";
        QTest::newRow("zip without workbook")
            << fixture("no_workbook.xlsx")
            << "El archivo no es un libro de Excel: el paquete no contiene un libro";
        QTest::newRow("sheet part missing")
            << fixture("no_sheet_part.xlsx")
            << "El libro está dañado: falta la parte xl/worksheets/sheet1.xml";
        QTest::newRow("no sheets") << fixture("no_sheets.xlsx")
                                   << "El libro no tiene ninguna hoja de cálculo";
        QTest::newRow("only a chart sheet")
            << fixture("only_chart.xlsx")
            << "El libro no tiene ninguna hoja de cálculo, solo gráficos o macros";
        QTest::newRow("malformed sheet") << fixture("malformed_sheet.xlsx")
                                         << "El libro está dañado: la parte xl/worksheets/sheet1.xml no es "
                                            "XML válido (línea 2: las etiquetas no "
                                            "se cierran en orden)";
        QTest::newRow("malformed shared strings") << fixture("malformed_strings.xlsx")
                                                  << "El libro está dañado: la parte xl/sharedStrings.xml no "
                                                     "es XML válido (línea 2: las etiquetas no se "
                                                     "cierran en orden)";
        QTest::newRow("shared string out of range")
            << fixture("bad_string_index.xlsx")
            << "El libro está dañado: la celda A1 usa el texto compartido 5, que no existe";
        QTest::newRow("number that is none")
            << fixture("bad_number.xlsx")
            << "El libro está dañado: la celda A1 tiene un valor no válido (nan)";
        QTest::newRow("bad cell reference") << fixture("bad_reference.xlsx")
                                            << "El libro está dañado: la parte xl/worksheets/sheet1.xml "
                                               "tiene una referencia de celda no válida (1A)";
        QTest::newRow("document type declaration")
            << fixture("dtd.xlsx")
            << "El libro está dañado: la parte xl/worksheets/sheet1.xml declara un tipo de documento";
        QTest::newRow("beyond the last column") << fixture("beyond_columns.xlsx")
                                                << "La hoja usa la fila 1, columna 16385, fuera del máximo "
                                                   "de Excel (1048576 filas por 16384 columnas)";
        QTest::newRow("beyond the last row") << fixture("beyond_rows.xlsx")
                                             << "La hoja usa la fila 1048577, columna 1, fuera del máximo de "
                                                "Excel (1048576 filas por 16384 columnas)";
        QTest::newRow("truncated xls")
            << fixture("truncated.xls")
            << "El libro está dañado o incompleto: su estructura interna no es válida";
        QTest::newRow("compound file without a workbook")
            << fixture("word_document.xls")
            << "El archivo no es un libro de Excel: es un documento de Word";
        QTest::newRow("password xlsx")
            << fixture("protected.xlsx") << "El libro está protegido con contraseña";
        QTest::newRow("password xls") << fixture("protected.xls") << "El libro está protegido con contraseña";
    }

    void badInput()
    {
        QFETCH(QString, file);
        QFETCH(QString, description);
        const PlanexoError e = openError(file);
        QCOMPARE(e.description(), description);
        QCOMPARE(e.number(), 1004L);
        QCOMPARE(e.source(), AbrirSource);
    }

    // Every prefix of a workbook is refused cleanly or read, never a crash.
    void everyTruncation()
    {
        for (const char *name :
             {"invoice_libreoffice.xlsx", "strings.xlsx", "invoice_libreoffice.xls", "formulas.xlsb"}) {
            QFile source(fixture(QString::fromLatin1(name)));
            QVERIFY(source.open(QIODevice::ReadOnly));
            const QByteArray data = source.readAll();
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("cut"));
            for (qsizetype len = 0; len < data.size(); len += 97) {
                QFile cut(path);
                QVERIFY(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
                cut.write(data.left(len));
                cut.close();
                const PlanexoError e = openError(path);
                // A compound file cut inside its last sector, every byte its streams use still
                // there, is read as Excel reads it: as the whole file.
                if (e.number() == 0 && QByteArray(name).endsWith(".xls") && len > data.size() - 512) {
                    clEcxel whole, shortened;
                    whole.setArchivo(fixture(QString::fromLatin1(name)));
                    shortened.setArchivo(path);
                    QVERIFY(whole.Abrir() && shortened.Abrir());
                    QCOMPARE(readAll(shortened, 10, 8), readAll(whole, 10, 8));
                    continue;
                }
                QCOMPARE(e.source(), AbrirSource);
                QVERIFY(!e.description().isEmpty());
            }
        }
    }

    // Bytes overwritten all over a workbook: each copy is refused with a description or read,
    // and reading its cells fails only with the reader's own error.
    void corruptedBytes()
    {
        for (const char *name :
             {"invoice_libreoffice.xls", "formulas.xls", "stored_strings.xlsx", "stored_formulas.xlsb"}) {
            QByteArray data;
            if (QByteArray(name).startsWith("stored_")) {
                // An uncompressed copy, so that the damage reaches the XML and not only the inflater.
                data = storedCopy(fixture(QString::fromLatin1(name + 7)));
            } else {
                QFile source(fixture(QString::fromLatin1(name)));
                QVERIFY(source.open(QIODevice::ReadOnly));
                data = source.readAll();
            }
            QVERIFY(!data.isEmpty());
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("corrupt"));
            int opened = 0;
            for (qsizetype at = 0; at < data.size(); at += 13) {
                QByteArray copy = data;
                copy[at] = char(copy[at] ^ (0x5A + at % 7));
                QFile out(path);
                QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
                out.write(copy);
                out.close();
                clEcxel reader;
                reader.setArchivo(path);
                try {
                    reader.Abrir();
                    ++opened;
                    for (long r = 1; r <= 12; ++r)
                        for (long c = 1; c <= 9; ++c) {
                            try {
                                reader.LeerCelda(r, c);
                            } catch (const PlanexoError &e) {
                                QCOMPARE(e.source(), LeerCeldaSource);
                            }
                        }
                } catch (const PlanexoError &e) {
                    QCOMPARE(e.source(), AbrirSource);
                    QVERIFY(!e.description().isEmpty());
                }
            }
            // Damage in unused bytes leaves the workbook readable: the loop did read sheets.
            QVERIFY2(opened > 0, name);
        }
    }

    // A part that decompresses beyond the cap is refused while it is read.
    void zipBomb()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bomb.xlsx"));
        QVERIFY(writeBomb(path, uint64_t(xlsx::MaxUncompressedBytes) + 4096));
        QVERIFY(QFile(path).size() < 2 * 1024 * 1024);
        const PlanexoError e = openError(path);
        QCOMPARE(e.description(),
                 QStringLiteral("El libro descomprimido supera 256 MiB, el máximo que se lee"));
        QCOMPARE(e.source(), AbrirSource);

        // The same bomb declaring a small size is stopped by counting what really comes out.
        QVERIFY(understateSize(path, "xl/worksheets/sheet1.xml", 1000));
        const PlanexoError hidden = openError(path);
        QCOMPARE(hidden.description(),
                 QStringLiteral("El libro descomprimido supera 256 MiB, el máximo que se lee"));
        QCOMPARE(hidden.source(), AbrirSource);

        // A small package the same way is read.
        QVERIFY(writeBomb(path, 64 * 1024));
        clEcxel reader;
        reader.setArchivo(path);
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("1"));
        QCOMPARE(reader.LeerCelda(2, 1), QStringLiteral("1"));
        QCOMPARE(reader.LeerCelda(1, 2), QString());
    }

    void cellCap()
    {
        WorkbookSheet sheet(3);
        sheet.addNumber(1, 1, 1, false);
        sheet.addNumber(1, 2, 2, false);
        sheet.addText(9, 9, sheet.addString(u"x"));
        try {
            sheet.addNumber(2, 1, 3, false);
            QFAIL("the fourth cell must be refused");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(),
                     QStringLiteral("La hoja tiene más de 3 celdas con valor, el máximo que se lee"));
        }
        sheet.finish();
        QCOMPARE(sheet.text(1, 2), QStringLiteral("2"));
        QCOMPARE(sheet.text(9, 9), QStringLiteral("x"));
        QCOMPARE(sheet.text(2, 1), QString());
    }

    void sparseLookup()
    {
        // Rows with and without gaps, added out of order: every stored cell is found, no other.
        WorkbookSheet sheet;
        for (uint32_t c = 1; c <= 50; ++c)
            sheet.addNumber(3, c, c, false);
        for (uint32_t c = 2; c <= 400; c += 7)
            sheet.addNumber(1, c, 1000 + c, false);
        sheet.addNumber(2, 16384, 7, false);
        sheet.finish();
        for (uint32_t c = 1; c <= 420; ++c) {
            QCOMPARE(sheet.text(3, c), c <= 50 ? QString::number(c) : QString());
            QCOMPARE(sheet.text(1, c),
                     (c >= 2 && (c - 2) % 7 == 0 && c <= 400) ? QString::number(1000 + c) : QString());
        }
        QCOMPARE(sheet.text(2, 16384), QStringLiteral("7"));
        QCOMPARE(sheet.text(2, 16383), QString());
        QCOMPARE(sheet.text(4, 1), QString());
        QCOMPARE(sheet.cellCount(), size_t(50 + 57 + 1));
    }

    // A sheet of several mebibytes is read in pieces; every row comes out as from a small sheet,
    // also when the text of a cell spells a row's end tag (in CDATA, where a piece cannot end).
    void longSheets()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        constexpr int Rows = 60000;
        for (const bool cdata : {false, true}) {
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("long.xlsx"));
            QVERIFY(writeLongSheet(path, Rows, cdata));
            clEcxel reader;
            reader.setArchivo(path);
            QVERIFY(reader.Abrir());
            for (int r = 1; r <= Rows; r += (r < 100 || Rows - r < 100) ? 1 : 97) {
                QCOMPARE(reader.LeerCelda(r, 1), QStringLiteral("Marca %1 ñ").arg(r % 7));
                QCOMPARE(reader.LeerCelda(r, 2), QStringLiteral("fila </row> %1").arg(r));
                QCOMPARE(reader.LeerCelda(r, 3), QStringLiteral("%1.5").arg(r));
                QCOMPARE(reader.LeerCelda(r, 4), r % 2 ? QStringLiteral("True") : QStringLiteral("False"));
                QCOMPARE(reader.LeerCelda(r, 5), QString());
            }
            QCOMPARE(reader.LeerCelda(Rows + 1, 1), QString());
        }
        // Cut short inside a row, the long sheet fails as a whole part does.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.xlsx"));
        QVERIFY(writeLongSheet(path, Rows, false));
        const QString target = dir.filePath(QStringLiteral("cut.xlsx"));
        {
            int error = 0;
            zip_t *in = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
            QVERIFY(in);
            QByteArray part;
            zip_stat_t st;
            QVERIFY(zip_stat(in, "xl/worksheets/sheet1.xml", 0, &st) == 0);
            part.resize(qsizetype(st.size));
            zip_file_t *f = zip_fopen(in, "xl/worksheets/sheet1.xml", 0);
            QVERIFY(f);
            QCOMPARE(zip_fread(f, part.data(), st.size), zip_int64_t(st.size));
            zip_fclose(f);
            zip_discard(in);
            QVERIFY(QFile::copy(path, target));
            zip_t *out = zip_open(QFile::encodeName(target).constData(), 0, &error);
            QVERIFY(out);
            QVERIFY(addText(out, "xl/worksheets/sheet1.xml", part.left(part.size() * 2 / 3)));
            QCOMPARE(zip_close(out), 0);
        }
        const PlanexoError e = openError(target);
        QCOMPARE(e.source(), AbrirSource);
        QVERIFY2(e.description().startsWith(QStringLiteral(
                     "El libro está dañado: la parte xl/worksheets/sheet1.xml no es XML válido (línea ")),
                 qPrintable(e.description()));
        QLocale::setDefault(QLocale::system());
    }

    void dateFormatCodes()
    {
        for (const char *code : {"dd/mm/yyyy", "[$-409]mmmm d, yyyy", "h:mm AM/PM", "[h]:mm:ss", "yy",
                                 "mm:ss.0", "d-mmm", "\"Fecha:\" dd/mm/yy"})
            QVERIFY2(xlsx::isDateFormatCode(QString::fromUtf8(code)), code);
        for (const char *code : {"General", "0.00", "#,##0.00_);\\(#,##0.00\\)", "0.00 \"días\"",
                                 "[Red]#,##0", "@", "0.0E+00", "\\d0", "_m0", "*s0", "[$€-2] #,##0.00"})
            QVERIFY2(!xlsx::isDateFormatCode(QString::fromUtf8(code)), code);
        for (int id : {14, 15, 16, 17, 18, 19, 20, 21, 22, 45, 46, 47})
            QVERIFY(xlsx::isDateFormatId(id));
        for (int id : {0, 1, 2, 3, 4, 9, 10, 11, 12, 13, 37, 38, 39, 40, 44, 48, 49, 164})
            QVERIFY(!xlsx::isDateFormatId(id));
    }
    // The loader reads cells as UTF-8 with the locale looked up once: every fixture's cells read
    // the same that way as through LeerCelda, in both locales, failures included.
    // Cells handed over as they are read are the sheet's cells with their texts, in order; a sheet
    // that cannot be read so says so and keeps nothing.
    void cellsHandedOverAsRead()
    {
        struct Recorder final : SheetCellSink {
            size_t reserved = 0;
            QVector<std::tuple<uint32_t, uint32_t, QString>> cells;
            bool ended = false;
            void reserve(size_t n) override { reserved = n; }
            void cell(uint32_t r, uint32_t c, std::string_view text) override
            {
                cells.append({r, c, QString::fromUtf8(text.data(), qsizetype(text.size()))});
            }
            void end() override { ended = true; }
        };
        const QStringList streamed = {"invoice_xlsxwriter.xlsx",
                                      "invoice_openpyxl.xlsx",
                                      "inline_xlsxwriter.xlsx",
                                      "dates.xlsx",
                                      "numbers.xls",
                                      "strings.xlsx",
                                      "long_texts.xls"};
        for (const QString &file : streamed) {
            clEcxel plain;
            plain.setArchivo(fixture(file));
            QVERIFY(plain.Abrir());
            Recorder recorder;
            clEcxel excel;
            excel.setArchivo(fixture(file));
            QVERIFY2(excel.Abrir(recorder), qPrintable(file));
            QVERIFY(recorder.ended);
            QCOMPARE(size_t(recorder.cells.size()), plain.cellsHint());
            for (qsizetype i = 0; i < recorder.cells.size(); ++i) {
                const auto &[r, c, text] = recorder.cells[i];
                if (i > 0) {
                    const auto &[r0, c0, t0] = recorder.cells[i - 1];
                    QVERIFY(r > r0 || (r == r0 && c > c0));
                }
                QCOMPARE(text, plain.LeerCelda(r, c));
            }
            // Nothing is kept: the cells were the sink's.
            QCOMPARE(excel.cellsHint(), size_t(0));
            QCOMPARE(excel.LeerCelda(std::get<0>(recorder.cells[0]), std::get<1>(recorder.cells[0])),
                     QString());
        }
        for (const char *file : {"unordered.xlsx", "import_error_cell.xlsx", "formulas.xlsx"}) {
            Recorder recorder;
            clEcxel excel;
            excel.setArchivo(fixture(QLatin1String(file)));
            QVERIFY2(!excel.Abrir(recorder), file);
            QVERIFY(!recorder.ended);
            QCOMPARE(excel.LeerCelda(1, 1), QString());
        }
        // Failures are those of Abrir.
        Recorder recorder;
        clEcxel excel;
        excel.setArchivo(fixture(QStringLiteral("bad_number.xlsx")));
        QVERIFY_THROWS_EXCEPTION(PlanexoError, excel.Abrir(recorder));
    }

    // A number's text taken as written must be the text its value converts to.
    void numberTextsTakenAsWritten()
    {
        std::mt19937_64 random(11);
        const auto digits = [&](int n, bool leadingZero) {
            std::string out;
            for (int i = 0; i < n; ++i)
                out += char('0' + ((i == 0 && !leadingZero) ? 1 + random() % 9 : random() % 10));
            return out;
        };
        QStringList texts = {"0",
                             "-0",
                             "0.0",
                             "-0.5",
                             "0.0001",
                             "0.00001",
                             "0.00012",
                             "1.50",
                             "007",
                             ".5",
                             "5.",
                             "1e5",
                             "+1",
                             "999999999.999999",
                             "1000000000.5",
                             "999999999999999",
                             "1000000000000000",
                             "0.1234567",
                             "-12.000001",
                             "12.3.4",
                             "",
                             "-",
                             "1,5"};
        for (int i = 0; i < 20000; ++i) {
            std::string t = random() % 4 == 0 ? "-" : "";
            const int whole = int(random() % 17);
            t += whole == 0 ? "0" : digits(whole, random() % 8 == 0);
            if (random() % 3 != 0) {
                const int places = 1 + int(random() % 8);
                // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on the one-line sum.
                t += '.';
                t.append(random() % 3 == 0 ? random() % 6 : 0, '0');
                t += digits(places, true);
            }
            texts << QString::fromStdString(t);
        }
        int taken = 0;
        for (const QString &text : texts) {
            const std::string t = text.toStdString();
            if (!WorkbookSheet::isNumberUtf8(t)) continue;
            ++taken;
            char out[WorkbookSheet::NumberChars];
            const size_t n = WorkbookSheet::numberUtf8(std::strtod(t.c_str(), nullptr), out);
            QCOMPARE(QString::fromLatin1(out, qsizetype(n)), text);
        }
        QVERIFY(taken > 5000 && taken < texts.size() - 5000);
        // Texts of 16 and 17 digits, as writers print doubles: rounded on the text where it is certain.
        int rounded = 0;
        const auto check = [&](const char *t) {
            char out[WorkbookSheet::NumberChars], expected[WorkbookSheet::NumberChars];
            const size_t n = WorkbookSheet::numberTextUtf8(t, out);
            if (n == 0) return;
            ++rounded;
            const size_t m = WorkbookSheet::numberUtf8(std::strtod(t, nullptr), expected);
            QCOMPARE(QByteArray(out, qsizetype(n)), QByteArray(expected, qsizetype(m)));
        };
        std::uniform_real_distribution<double> unit(0, 1);
        for (int i = 0; i < 40000; ++i) {
            const double scale = std::pow(10.0, int(random() % 19) - 5);
            double value = unit(random) * scale;
            if (i % 3 == 0) value = std::round(value * 1000) / 1000 * (1 + 1e-16 * double(random() % 7));
            if (i % 5 == 0) value = double(random() % 1000) * 0.001 * double(1 + random() % 500);
            if (random() % 2) value = -value;
            char text[64];
            const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
            *r.ptr = 0;
            check(text);
            for (const int precision : {16, 17}) {
                std::snprintf(text, sizeof text, "%.*g", precision, value);
                check(text);
            }
        }
        for (const char *t :
             {"1097.2960000000001", "0.009000000000000001", "0.30000000000000004", "-2.9999999999999996",
              "99999999999999.99", "0.00012345678901234567", "123456789012345.02"})
            check(t);
        QVERIFY(rounded > 10000);
        char out[WorkbookSheet::NumberChars];
        QCOMPARE(QByteArray(out, qsizetype(WorkbookSheet::numberTextUtf8("1097.2960000000001", out))),
                 QByteArray("1097.296"));
        QCOMPARE(WorkbookSheet::numberTextUtf8("0.1234567890123455", out), size_t(0)); // near one half
        QCOMPARE(WorkbookSheet::numberTextUtf8("1.5e-7", out), size_t(0));
        for (const char *text : {"0", "-0.5", "0.0001", "0.00012", "999999999.999999", "999999999999999"})
            QVERIFY2(WorkbookSheet::isNumberUtf8(text), text);
        for (const char *text : {"-0", "0.00001", "1.50", "007", ".5", "5.", "1e5", "+1", "1000000000.5",
                                 "1000000000000000", "0.1234567", "", "-"})
            QVERIFY2(!WorkbookSheet::isNumberUtf8(text), text);
    }

    void utf8TextsAreTheTexts()
    {
        const QStringList files =
            QDir(QStringLiteral(PLANEXO_TEST_DATA_DIR)).entryList({"*.xlsx", "*.xls"}, QDir::Files);
        QVERIFY(files.size() > 20);
        int compared = 0, failures = 0;
        for (const bool comma : {true, false}) {
            comma ? TestEnv::useComma() : TestEnv::usePoint();
            for (const QString &file : files) {
                clEcxel reader;
                reader.setArchivo(fixture(file));
                try {
                    reader.Abrir();
                } catch (const PlanexoError &) {
                    continue;
                }
                if (file == QLatin1String("strings.xlsx"))
                    reader.EscribirCelda(2, 2, QStringLiteral("añadido"));
                SheetTextRun run;
                for (long r = 1; r <= 40; ++r) {
                    for (long c = 1; c <= 12; ++c) {
                        QString want, got;
                        long wantError = 0, gotError = 0;
                        QString wantDescription, gotDescription, wantSource, gotSource;
                        try {
                            want = reader.LeerCelda(r, c);
                        } catch (const PlanexoError &e) {
                            wantError = e.number();
                            wantDescription = e.description();
                            wantSource = e.source();
                        }
                        try {
                            const std::string_view utf8 = reader.LeerCeldaUtf8(r, c, run);
                            got = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
                        } catch (const PlanexoError &e) {
                            gotError = e.number();
                            gotDescription = e.description();
                            gotSource = e.source();
                        }
                        const QString where = QStringLiteral("%1 (%2, %3)").arg(file).arg(r).arg(c);
                        QVERIFY2(got == want, qPrintable(where + ": " + got + " <> " + want));
                        QVERIFY2(gotError == wantError && gotDescription == wantDescription &&
                                     gotSource == wantSource,
                                 qPrintable(where));
                        ++compared;
                        failures += wantError != 0;
                    }
                }
            }
        }
        QVERIFY(compared > 10000);
        QVERIFY(failures > 0); // the error cells were among them
    }

    // Numbers written straight into a buffer as VB writes them (15 significant digits, E+XX).
    void numberUtf8IsVbText()
    {
        std::vector<double> values = {0.0,
                                      -0.0,
                                      1,
                                      -1,
                                      0.5,
                                      1234.5,
                                      0.0001,
                                      -0.00015,
                                      999999999.5,
                                      999999999.25,
                                      1e9 + 0.5,
                                      0.000099,
                                      123456.789012,
                                      1e15,
                                      999999999999999.0,
                                      1e15 + 2,
                                      123456789012345678.0,
                                      0.1 + 0.2,
                                      1.0 / 3,
                                      -2.0 / 3,
                                      1e-4,
                                      1.5e-5,
                                      0.0001234,
                                      1e100,
                                      -1e-100,
                                      1e308,
                                      5e-324,
                                      std::numeric_limits<double>::min(),
                                      4503599627370497.0,
                                      0.30000000000000004,
                                      45000.25,
                                      1370.2500000000002,
                                      std::numeric_limits<double>::infinity()};
        std::mt19937_64 random(11);
        std::uniform_real_distribution<double> unit(0, 1);
        std::uniform_int_distribution<int> exponent(-30, 30);
        for (int i = 0; i < 20000; ++i) {
            const double v = (unit(random) - 0.5) * std::pow(10.0, exponent(random));
            values.push_back(v);
            values.push_back(std::round(v * 100) / 100);
            values.push_back(std::round(v * 1e4) / 1e4);
            values.push_back(std::round(v * 1e6) / 1e6);
            values.push_back(std::round(v * 1e7) / 1e7);
            values.push_back(std::nextafter(v, 1e300));
        }
        for (const double v : values) {
            char out[WorkbookSheet::NumberChars];
            const size_t n = WorkbookSheet::numberUtf8(v, out);
            const QString want =
                std::isfinite(v) ? vb::sqlNumberLiteral(v) : WorkbookSheet::numberText(v, '.');
            QCOMPARE(QString::fromLatin1(out, qsizetype(n)), want);
        }
    }
    // The same texts checked against Qt's rounding to 15 digits, laid out the VB way by the test's
    // own routine: random bit patterns, values about powers of ten, texts of 15 to 17 digits, exact
    // ties at the 15th digit, the very small and very large, each also negative.
    void numberUtf8RoundsAsQt()
    {
        const auto vbForm = [](double v) {
            // %g's layout with 15 digits; VB writes the exponent as E, a sign and two or more digits.
            QString text = QString::number(v, 'g', 15);
            const qsizetype e = text.indexOf(QLatin1Char('e'));
            if (e < 0) return text;
            QString exponent = text.mid(e + 1);
            QChar sign('+');
            if (exponent.startsWith('-') || exponent.startsWith('+')) {
                sign = exponent[0];
                exponent.remove(0, 1);
            }
            while (exponent.size() < 2)
                exponent.prepend('0');
            return text.left(e) + 'E' + sign + exponent;
        };
        std::vector<double> values;
        std::mt19937_64 random(2026);
        const auto fromText = [](const std::string &t) { return std::strtod(t.c_str(), nullptr); };
        const auto randomDigits = [&random](int count) {
            std::string t(1, char('1' + random() % 9));
            for (int i = 1; i < count; ++i)
                t += char('0' + random() % 10);
            return t;
        };
        // Any finite double at all.
        for (int i = 0; i < 100000; ++i) {
            const uint64_t bits = random();
            double v;
            std::memcpy(&v, &bits, sizeof v);
            if (std::isfinite(v)) values.push_back(v);
        }
        // Powers of ten and their neighbours, where the exponent and the carry into a new digit turn.
        for (int p = -30; p <= 30; ++p) {
            const double ten = fromText("1e" + std::to_string(p));
            double up = ten, down = ten;
            for (int step = 0; step < 40; ++step) {
                values.push_back(up);
                values.push_back(down);
                up = std::nextafter(up, 1e308);
                down = std::nextafter(down, 0.0);
            }
            for (int k = 1; k <= 9; ++k) {
                values.push_back(ten * (1 - k * 1e-16));
                values.push_back(ten * (1 + k * 1e-16));
                values.push_back(ten * (1 - k * 1e-15));
            }
            values.push_back(fromText("9.99999999999999e" + std::to_string(p)));
            values.push_back(fromText("9.999999999999995e" + std::to_string(p)));
            values.push_back(fromText("9.9999999999999949e" + std::to_string(p)));
            values.push_back(fromText("9.9999999999999951e" + std::to_string(p)));
        }
        // Texts of 15, 16 and 17 significant digits at every scale an invoice uses and beyond,
        // some with a 16th digit of 5 and more after it, half way or nearly.
        for (int i = 0; i < 60000; ++i) {
            const int count = 15 + i % 3;
            std::string digits = randomDigits(count);
            if (i % 7 == 0 && count >= 16) digits[15] = '5';
            const int exponent = int(random() % 40) - 20;
            values.push_back(fromText(digits.substr(0, 1) + "." + digits.substr(1) + "e" + std::to_string(exponent)));
        }
        // Exact ties: 16 digits ending in 5 that a double holds exactly (halves, quarters, eighths).
        for (int i = 0; i < 20000; ++i) {
            const int places = 1 + i % 4;
            static const char *const fractions[][8] = {{"5"},
                                                       {"25", "75"},
                                                       {"125", "375", "625", "875"},
                                                       {"0625", "1875", "3125", "4375", "5625", "6875", "8125", "9375"}};
            const char *fraction = fractions[places - 1][random() % (size_t(1) << (places - 1))];
            values.push_back(fromText(randomDigits(16 - places) + "." + fraction));
        }
        // Amounts as a sheet computes them: prices times quantities, sums of cents, thousandths.
        std::uniform_real_distribution<double> unit(0, 1);
        for (int i = 0; i < 40000; ++i) {
            const double price = std::round(unit(random) * 1e6) / 100;
            values.push_back(price);
            values.push_back(price * double(1 + random() % 500));
            values.push_back(double(i) * 0.001);
            values.push_back(0.1 * double(random() % 100) + 0.2 * double(random() % 100));
            values.push_back(unit(random) * std::pow(10.0, int(random() % 30) - 10));
        }
        // The extremes.
        for (const double v : {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                               std::numeric_limits<double>::denorm_min(), 1e-300, 1e300, 1e-5, 6.103515625e-05,
                               6.1035156249999993e-05, 562949953421311.5, 562949953421312.0, 562949953421312.5,
                               999999999999999.4, 999999999999999.5, 99999999999999.95, 0.5, 1.5, 2.5})
            values.push_back(v);
        const size_t count = values.size();
        for (size_t i = 0; i < count; ++i)
            values.push_back(-values[i]);
        int exponentForms = 0;
        for (const double v : values) {
            char out[WorkbookSheet::NumberChars];
            const size_t n = WorkbookSheet::numberUtf8(v, out);
            const QString want = v == 0 ? QStringLiteral("0") : vbForm(v);
            const QString got = QString::fromLatin1(out, qsizetype(n));
            if (got != want) QFAIL(qPrintable(QStringLiteral("%1: %2 <> %3").arg(v, 0, 'g', 17).arg(got, want)));
            // The same with a decimal comma, as the grid shows it in a Spanish locale.
            const QString comma = QString::fromLatin1(out, qsizetype(WorkbookSheet::numberUtf8(v, out, ',')));
            if (comma != QString(want).replace('.', ','))
                QFAIL(qPrintable(QStringLiteral("%1: %2 with a comma").arg(v, 0, 'g', 17).arg(comma)));
            exponentForms += want.contains('E');
        }
        QVERIFY(values.size() > 500000);
        QVERIFY(exponentForms > 50000 && exponentForms < int(values.size()) - 200000);
    }

    // Inline strings in every form a writer uses: plain, with references (decoded as the part is
    // read), halves of a pair, escapes spelled with references, runs; a bad reference fails as
    // it does in any text.
    void inlineStringsOfEveryForm()
    {
        const QString r(QChar::ReplacementCharacter);
        const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QByteArray ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("inline.xlsx"));
        const auto cell = [](const char *ref, const QByteArray &inner) {
            return QByteArray("<c r=\"") + ref + "\" t=\"inlineStr\"><is>" + inner + "</is></c>";
        };
        QVERIFY(writePackage(
            path,
            "<worksheet xmlns=\"" + ns + "\"><sheetData><row r=\"1\">" + cell("A1", "<t>plain</t>") +
                cell("B1", "<t>Art&#237;culo &amp; &lt;x&gt; &quot;&apos; &#x1F600;</t>") +
                cell("C1", "<t>&#xD83D;&#xDE00;&#xD800;z</t>") + cell("D1", "<t>&#95;x0041_&#95;</t>") +
                cell("E1", "<t>a</t><r><t>b</t></r><rPh><t>no</t></rPh>") +
                cell("F1", "<r><rPr/><t>c&#233;</t></r><r><t>d</t></r>") +
                "<c r=\"G1\" t=\"inlineStr\"><v>7</v><is><t>e</t></is></c>" +
                "<c r=\"H1\" t=\"str\"><v>h</v><is><t>not this</t></is></c>" +
                "</row></sheetData></worksheet>",
            {}));
        clEcxel reader;
        reader.setArchivo(path);
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 1, 8).first(),
                 (QStringList{"plain", QString::fromUtf8("Artículo & <x> \"' ") + smile, smile + r + "z",
                              "A_", "ab", QString::fromUtf8("céd"), "e", "h"}));

        QString fastError, slowError;
        for (const QByteArray &inner : {QByteArray("<t>x&#xZZ;</t>"), QByteArray("<r><t>x&#xZZ;</t></r>")}) {
            QVERIFY(writePackage(path,
                                 "<worksheet xmlns=\"" + ns + "\"><sheetData><row>" + cell("A1", inner) +
                                     "</row></sheetData></worksheet>",
                                 {}));
            reader.setArchivo(path);
            try {
                reader.Abrir();
                QFAIL("a bad reference was read");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.number(), 1004L);
                QCOMPARE(e.source(), AbrirSource);
                (fastError.isEmpty() ? fastError : slowError) = e.description();
            }
        }
        QVERIFY2(fastError.contains(QStringLiteral("una referencia de carácter no es válida")),
                 qPrintable(fastError));
        QCOMPARE(fastError, slowError);
    }
    // The usual cells are scanned whole, others token by token: both ways read every form alike
    // (attribute order, quotes, blanks, empty and self-closing cells, references, escapes), and
    // a bad value fails alike. The token way is forced by a comment inside each cell.
    void plainCellsReadAsTokens()
    {
        const QByteArray ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
        const QList<QByteArray> cells = {
            "<c r=\"A1\" t=\"s\"><v>1</v></c>",
            "<c t='s' r='B1'><v>0</v></c>",
            "<c  r=\"C1\"\n s=\"1\" ><v>45000</v></c>",
            "<c r=\"D1\" s=\"1\"/>",
            "<c r=\"E1\"></c>",
            "<c r=\"F1\" t=\"inlineStr\"><is><t>in line &gt; x</t></is></c>",
            "<c r=\"G1\" t=\"inlineStr\"><is><t>a_x0042_c</t></is></c>",
            "<c r=\"H1\" t=\"str\"><v> texto </v></c>",
            "<c r=\"I1\" t=\"b\"><v>1</v></c>",
            "<c r=\"J1\" t=\"n\" cm=\"1\"><v>2.5</v></c>",
            "<c r=\"K1\"><v> 1e3 </v></c>",
            "<c r=\"L1\" t=\"s\" t=\"n\"><v>3</v></c>",
            "<c t=\"inlineStr\"><is><t>sin referencia</t></is></c>",
            "<c r=\"N1\" t=\"e\"><v>#N/A</v></c>",
            "<c r=\"O1\" t=\"s\"><is><t>no</t></is></c>",
            "<c r=\"P1\"><v></v></c>",
        };
        QByteArray plainRow, tokenRow;
        for (const QByteArray &c : cells) {
            plainRow += c;
            const qsizetype close = c.indexOf('>') + 1;
            tokenRow += c.endsWith("/>") ? c : c.left(close) + "<!---->" + c.mid(close);
        }
        const QByteArray strings =
            "<sst xmlns=\"" + ns + "\"><si><t>uno</t></si><si><t>dos &amp; tres</t></si></sst>";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cells.xlsx"));
        QVector<QStringList> read[2];
        for (int way = 0; way < 2; ++way) {
            const QByteArray row = way == 0 ? plainRow : tokenRow;
            QByteArray second = row;
            second.replace("1\"", "2\"").replace("1'", "2'");
            QVERIFY(writePackage(path,
                                 "<worksheet xmlns=\"" + ns + "\"><sheetData><row r=\"1\">" + row +
                                     "</row><row>" + second + "</row></sheetData></worksheet>",
                                 strings));
            clEcxel reader;
            reader.setArchivo(path);
            QVERIFY(reader.Abrir());
            for (long r = 1; r <= 2; ++r) {
                QStringList texts;
                for (long c = 1; c <= 16; ++c) {
                    try {
                        texts << reader.LeerCelda(r, c);
                    } catch (const PlanexoError &e) {
                        texts << QString::number(e.number()) + e.description();
                    }
                }
                read[way] << texts;
            }
        }
        QCOMPARE(read[0], read[1]);
        QCOMPARE(read[0][0],
                 (QStringList{"dos & tres", "uno", "45000", "", "", "in line > x", "aBc", " texto ",
                              "Verdadero", "2,5", "1000", "3", "sin referencia",
                              "13No coinciden los tipos: la celda N1 contiene el error #N/A", "", ""}));

        // A value no number reads as, and a bad reference in an inline text (whatever the cell's
        // type), fail alike both ways.
        const QList<QPair<QByteArray, QString>> bad = {
            {"<c r=\"A1\">%<v>1,5</v></c>", QStringLiteral("la celda A1 tiene un valor no válido (1,5)")},
            {"<c r=\"A1\" t=\"s\">%<is><t>a&#xZZ;</t></is></c>",
             QStringLiteral("una referencia de carácter no es válida")}};
        for (const auto &[cell, why] : bad) {
            QString failures[2];
            for (int way = 0; way < 2; ++way) {
                QByteArray c = cell;
                c.replace("%", way ? "<!---->" : "");
                QVERIFY(writePackage(path,
                                     "<worksheet xmlns=\"" + ns + "\"><sheetData><row>" + c +
                                         "</row></sheetData></worksheet>",
                                     {}));
                clEcxel reader;
                reader.setArchivo(path);
                try {
                    reader.Abrir();
                } catch (const PlanexoError &e) {
                    failures[way] = e.description();
                }
            }
            QVERIFY2(failures[0].contains(why), qPrintable(failures[0]));
            QCOMPARE(failures[0], failures[1]);
        }
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "test_reader.moc"
