// OpenDocument spreadsheets, delimited text files and invoices printed to PDF: read through clEcxel
// and through the step-2 grid in both locales, recognised by content, and refused clearly when
// damaged or of another kind.
#include "common/ExpectedInvoice.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "data/clEntorno.h"
#include "import/SheetGridModel.h"
#include "shared/SharedState.h"
#include "ui/import/SheetPanel.h"
#include "workbook/clEcxel.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/csv/CsvReader.h"
#include "workbook/ods/OdsReader.h"
#include "workbook/pdf/PdfProtocol.h"
#include "workbook/pdf/PdfReader.h"
#include "workbook/pdf/PdfTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <zip.h>

namespace {

const QString AbrirSource = QStringLiteral("[clExcel.Abrir]");

QString fixture(const QString &name)
{
    return QDir(QStringLiteral(PLANEXO_TEST_DATA_DIR)).filePath(name);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

QVector<QStringList> readFile(const QString &path, int rows, int cols)
{
    clEcxel reader;
    reader.setArchivo(path);
    if (!reader.Abrir()) return {};
    return readAll(reader, rows, cols);
}

// The error Abrir throws for a file; number 0 when it opens.
PlanexoError openError(const QString &path)
{
    clEcxel reader;
    reader.setArchivo(path);
    try {
        reader.Abrir();
    } catch (const PlanexoError &e) {
        return e;
    }
    return PlanexoError(0, QStringLiteral("opened"));
}

// The sheet of texts to keep, as the second readers read it (Python's csv module for the text
// files, SheetJS for the .ods): delimiters, quotes and a line break inside fields, codes with
// leading zeros and of 19 digits, blanks.
QVector<QStringList> expectedTextCases()
{
    const bool c = QLocale().decimalPoint() == QLatin1String(",");
    return {
        {"Codigo", "Descripcion", "Cantidad", "Nota"},
        {"00123", "Tornillo; con punto y coma", "10", "Dijo \"hola\""},
        {"0456", "Tuerca, con coma", c ? "2,5" : "2.5", "línea 1\nlínea 2"},
        {"1234567890123456789", "Código largo", "-3", "  blancos  "},
        {"7318.15.00", "NCM con puntos", c ? "1234567,5" : "1234567.5", ""},
        {"A-1", "Ñandú «comillas»", "0", "fin"},
        {"", "", "", ""},
    };
}

// A copy of an .ods with parts replaced (empty content: the part removed).
bool odsWithParts(const QString &from, const QString &to,
                  const std::vector<std::pair<const char *, QByteArray>> &parts)
{
    QFile::remove(to);
    if (!QFile::copy(from, to)) return false;
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(to).constData(), 0, &error);
    if (!zip) return false;
    for (const auto &[name, data] : parts) {
        if (data.isEmpty()) {
            zip_delete(zip, zip_uint64_t(zip_name_locate(zip, name, 0)));
            continue;
        }
        void *copy = malloc(size_t(data.size()));
        memcpy(copy, data.constData(), size_t(data.size()));
        zip_source_t *source = zip_source_buffer(zip, copy, zip_uint64_t(data.size()), 1);
        if (zip_file_add(zip, name, source, ZIP_FL_OVERWRITE) < 0) return false;
    }
    return zip_close(zip) == 0;
}

// An entry of a zip package, whole; empty when it cannot be read.
QByteArray zipEntry(const QString &path, const char *name)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    zip_file_t *part = zip ? zip_fopen(zip, name, 0) : nullptr;
    QByteArray data;
    if (part) {
        char chunk[65536];
        zip_int64_t n;
        while ((n = zip_fread(part, chunk, sizeof chunk)) > 0)
            data.append(chunk, qsizetype(n));
        zip_fclose(part);
    }
    if (zip) zip_discard(zip);
    return data;
}

// The rows of a comma-separated file as ssconvert writes it (fields quoted when they need it,
// quotes doubled), each padded to cols fields.
QVector<QStringList> csvRows(const QByteArray &bytes, int cols)
{
    const QString text = QString::fromUtf8(bytes);
    QVector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    const auto endRow = [&] {
        row << field;
        field.clear();
        while (row.size() < cols)
            row << QString();
        rows << row;
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch != QLatin1Char('"'))
                field += ch;
            else if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"'))
                field += text[++i];
            else
                quoted = false;
        } else if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == QLatin1Char(',')) {
            row << field;
            field.clear();
        } else if (ch == QLatin1Char('\n')) {
            endRow();
        } else if (ch != QLatin1Char('\r')) {
            field += ch;
        }
    }
    if (!field.isEmpty() || !row.isEmpty()) endRow();
    return rows;
}

// What a cell the second reader wrote as this text shows in the grid: a number with 15 significant
// digits and the locale's separator, a date (ssconvert writes yyyy/mm/dd) in the locale's short
// form with four-digit years, a boolean in Spanish or English, any other text as it is.
QString gridText(const QString &field, bool comma)
{
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    static const QRegularExpression date(QStringLiteral("^([0-9]{4})/([0-9]{2})/([0-9]{2})$"));
    if (number.match(field).hasMatch()) {
        QString text = QString::number(field.toDouble(), 'g', 15);
        if (comma) text.replace(QLatin1Char('.'), QLatin1Char(','));
        return text;
    }
    if (const QRegularExpressionMatch m = date.match(field); m.hasMatch()) {
        const QString day = QString::number(m.captured(3).toInt()),
                      month = QString::number(m.captured(2).toInt());
        return (comma ? day + QLatin1Char('/') + month : month + QLatin1Char('/') + day) + QLatin1Char('/') +
               m.captured(1);
    }
    if (field == QLatin1String("TRUE")) return comma ? QStringLiteral("Verdadero") : QStringLiteral("True");
    if (field == QLatin1String("FALSE")) return comma ? QStringLiteral("Falso") : QStringLiteral("False");
    return field;
}

// The markup with every attribute written with blanks around its '=', as XML allows: no cell of it
// has the form the reader takes straight from the bytes.
QByteArray spacedAttributes(const QByteArray &xml)
{
    QByteArray out;
    out.reserve(xml.size() + xml.size() / 4);
    bool inTag = false;
    for (qsizetype i = 0; i < xml.size(); ++i) {
        const char c = xml[i];
        if (c == '<') inTag = true;
        if (c == '>') inTag = false;
        if (inTag && c == '=' && i + 1 < xml.size() && (xml[i + 1] == '"' || xml[i + 1] == '\'')) {
            out += " = ";
            continue;
        }
        out += c;
    }
    return out;
}

// content.xml with one table holding these rows.
QByteArray content(const QByteArray &rows)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
           "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>"
           "<table:table table:name=\"H\">" +
           rows + "</table:table></office:spreadsheet></office:body></office:document-content>";
}

// A word of a synthetic page: its box from x0 to x1, its baseline at y, 8 points high.
pdf::Word pw(double x0, double x1, double y, const char *text)
{
    return pdf::Word{x0, y - 8, x1, y, text, false};
}

// A table's rows as the texts of their cells.
QVector<QStringList> tableRows(const pdf::Table &table, size_t from = 0, size_t to = SIZE_MAX)
{
    QVector<QStringList> out;
    for (size_t r = from; r < std::min(to, table.rows.size()); ++r) {
        QStringList row;
        for (const std::string &cell : table.rows[r])
            row << QString::fromStdString(cell);
        out << row;
    }
    return out;
}

// The output of planexo-pdftext for one page of these word lines.
QByteArray helperOutput(const QByteArray &words, int count)
{
    return "planexo-pdftext 1\npages 1\npage 1 61200 79200 " + QByteArray::number(count) + "\n" + words +
           "end\n";
}

} // namespace

class TestFormats : public QObject {
    Q_OBJECT

    QTemporaryDir madeDir;

    // Loads a file into the step-2 grid through the panel; the grid's rows, or the message shown.
    QVector<QStringList> loadThroughGrid(const QString &path)
    {
        TestEnv env;
        shared().entorno = std::make_unique<oENTX::clEntorno>();
        SheetPanel panel;
        ScriptedInteraction script;
        QVector<QStringList> rows;
        if (!panel.lf_LevantarExcel(path) || !script.ok()) {
            rows << QStringList{QStringLiteral("failed"), script.report()};
            return rows;
        }
        const SheetGridModel &grid = panel.model();
        for (int r = 0; r < grid.rows(); ++r) {
            QStringList texts;
            for (int c = 0; c < grid.cols(); ++c)
                texts << grid.text(r, c);
            rows << texts;
        }
        return rows;
    }

  private slots:
    void init() { TestEnv::useComma(); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

    // ---- Merged ranges ----

    void mergedRangesOfEveryProducer_data()
    {
        QTest::addColumn<QString>("file");
        for (const char *f : {"merged_headings.xlsx", "merged_headings.xlsb", "merged_headings.xls",
                              "merged_headings.ods", "merged_headings_gnumeric.ods"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }

    // Two heading rows with cells merged down and across, as openpyxl wrote them and LibreOffice,
    // gnumeric and SheetJS copied them: the same ranges from every reader, kept and streamed; the
    // description's trailing blank stays. A text table has none.
    void mergedRangesOfEveryProducer()
    {
        QFETCH(QString, file);
        const MergedRangeList want{{1, 1, 2, 1}, {1, 2, 2, 2}, {1, 3, 1, 4}, {1, 5, 2, 5}, {1, 6, 2, 7}};
        clEcxel reader;
        reader.setArchivo(fixture(file));
        QVERIFY(reader.mergedRanges().isEmpty());
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.mergedRanges(), want);
        QCOMPARE(readAll(reader, 3, 4), (QVector<QStringList>{{"Código", "Descripción", "PRECIO (USD)", ""},
                                                              {"", "", "P. Unit.", "Total"},
                                                              {"A-1", "Tornillo ", "1,5", "15"}}));
        struct Count final : SheetCellSink {
            int cells = 0;
            void reserve(size_t) override {}
            void cell(uint32_t, uint32_t, std::string_view) override { ++cells; }
            void end() override {}
        } sink;
        QVERIFY(reader.Abrir(sink));
        QCOMPARE(sink.cells, 17);
        QCOMPARE(reader.mergedRanges(), want);
        reader.CerrarArchivo();
        QVERIFY(reader.mergedRanges().isEmpty());

        reader.setArchivo(fixture(QStringLiteral("invoice_semicolon.csv")));
        QVERIFY(reader.Abrir());
        QVERIFY(reader.mergedRanges().isEmpty());
    }

    // Ranges that overlap, repeat, run past the grid or cover it whole, written backwards, of one
    // cell or malformed, in a sheet and in a repeated row: clipped to the grid, kept once, never
    // made into cells; past the cap the rest are left out.
    void mergedRangesBadInput()
    {
        const QString xlsx = madeDir.filePath(QStringLiteral("merges.xlsx"));
        QByteArray merges;
        for (const char *ref : {"A1:XFD1048576", "B2:C3", "C3:B2", "B2:C3", "C2:D4", "ZZZZ5:A5", "A1:A1",
                                "A9:B99999999", "A:B", "", "B2"})
            merges += "<mergeCell ref=\"" + QByteArray(ref) + "\"/>";
        QVERIFY(
            odsWithParts(fixture(QStringLiteral("merged_headings.xlsx")), xlsx,
                         {{"xl/worksheets/sheet1.xml",
                           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                           "<sheetData><row r=\"1\"><c r=\"A1\"><v>7</v></c></row></sheetData><mergeCells>" +
                               merges + "</mergeCells></worksheet>"}}));
        clEcxel reader;
        reader.setArchivo(xlsx);
        QVERIFY(reader.Abrir());
        QCOMPARE(
            reader.mergedRanges(),
            (MergedRangeList{
                {1, 1, 1048576, 16384}, {2, 2, 3, 3}, {2, 3, 4, 4}, {5, 1, 5, 16384}, {9, 1, 1048576, 2}}));
        QCOMPARE(reader.cellsHint(), size_t(1));
        QCOMPARE(reader.LeerCelda(2, 2), QString());

        // A row repeated a million times with a merged cell: the ranges stop at the cap.
        const QString ods = madeDir.filePath(QStringLiteral("merges.ods"));
        QVERIFY(odsWithParts(
            fixture(QStringLiteral("invoice_libreoffice.ods")), ods,
            {{"content.xml", content("<table:table-row table:number-rows-repeated=\"1048576\">"
                                     "<table:table-cell table:number-columns-spanned=\"2\" "
                                     "table:number-rows-spanned=\"99999999\"/><table:covered-table-cell/>"
                                     "</table:table-row>")}}));
        reader.setArchivo(ods);
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.mergedRanges().size(), WorkbookSheet::MaxMergedRanges);
        QCOMPARE(reader.mergedRanges().first(), (MergedRange{1, 1, 1048576, 2}));
        QCOMPARE(reader.cellsHint(), size_t(0));
    }

    // ---- OpenDocument ----

    void odsInvoiceOfEveryProducer_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("comma");
        for (const bool c : {true, false})
            for (const char *file : {"invoice_libreoffice.ods", "invoice_gnumeric.ods"})
                QTest::addRow("%s %s", file, c ? "comma" : "point") << QString::fromLatin1(file) << c;
    }

    // LibreOffice and Gnumeric copies of the invoice read as the .xlsx does, blanks in texts kept.
    void odsInvoiceOfEveryProducer()
    {
        QFETCH(QString, file);
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        QCOMPARE(readFile(fixture(file), 10, 8), expectedInvoice());
        QCOMPARE(readFile(fixture(QStringLiteral("invoice_xlsxwriter.xlsx")), 10, 8), expectedInvoice());
    }

    // Cached results of every type; error values fail as an .xlsx's do, whichever way the producer
    // wrote them (LibreOffice marks them, Gnumeric names them); LibreOffice's boolean results are
    // numbers with TRUE or FALSE as their text.
    void odsFormulasBooleansAndErrors_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("LibreOffice") << "formulas_libreoffice.ods";
        QTest::newRow("Gnumeric") << "formulas_gnumeric.ods";
    }

    void odsFormulasBooleansAndErrors()
    {
        QFETCH(QString, file);
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            clEcxel reader;
            reader.setArchivo(fixture(file));
            QVERIFY(reader.Abrir());
            QCOMPARE(
                readAll(reader, 1, 8).first(),
                (QStringList{"3", "abc", c ? "Verdadero" : "True", c ? "Falso" : "False", "3", "",
                             c ? "0,001" : "0.001", c ? "1,23456789012346E+17" : "1.23456789012346E+17"}));
            QCOMPARE(reader.LeerCelda(2, 5), QStringLiteral("2"));
            const QStringList errors{"#N/A", "#DIV/0!", "#VALUE!", "#REF!"};
            for (int col = 0; col < errors.size(); ++col) {
                try {
                    reader.LeerCelda(2, col + 1);
                    QFAIL("an error value must fail");
                } catch (const PlanexoError &e) {
                    QCOMPARE(e.number(), 13L);
                    QCOMPARE(e.source(), QStringLiteral("[clExcel.LeerCelda]"));
                    QCOMPARE(e.description(),
                             QStringLiteral("No coinciden los tipos: la celda %1 contiene el error %2")
                                 .arg(QChar('A' + col) + QStringLiteral("2"), errors[col]));
                }
            }
        }
    }

    // LibreOffice's copy of the dates sheet: date, date-time and time cells (one of 36 hours) read
    // as the .xlsx's cells do, from 1 March 1900 on (before it LibreOffice's dates are a day apart
    // from Excel's serials, as Excel itself shows them).
    void odsDatesAndTimes()
    {
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            clEcxel ods, xlsx;
            ods.setArchivo(fixture(QStringLiteral("dates.ods")));
            xlsx.setArchivo(fixture(QStringLiteral("dates.xlsx")));
            QVERIFY(ods.Abrir());
            QVERIFY(xlsx.Abrir());
            const QStringList row1 = readAll(ods, 1, 11).first();
            QCOMPARE(row1, readAll(xlsx, 1, 11).first());
            QCOMPARE(row1[7],
                     c ? QStringLiteral("1/1/1900 12:00:00") : QStringLiteral("1/1/1900 12:00:00 PM"));
            // (its ISO date cell came out as a plain number, as in LibreOffice's .xls copy)
            for (const long col : {3L, 7L, 8L})
                QCOMPARE(ods.LeerCelda(2, col), xlsx.LeerCelda(2, col));
            // A day starting before 1 March 1900 keeps its calendar date.
            QCOMPARE(ods.LeerCelda(2, 2), c ? QStringLiteral("27/2/1900") : QStringLiteral("2/27/1900"));
        }
    }

    // Spans joined, paragraphs as line breaks, text:s blanks kept and markup blanks dropped,
    // covered and empty cells, rows without cells.
    void odsStrings()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("strings.ods")));
        QVERIFY(reader.Abrir());
        const QVector<QStringList> rows = readAll(reader, 6, 6);
        QCOMPARE(rows[0], (QStringList{"Negrita y normal", "漢字", "línea 1\nlínea 2", "a_x000D_b", "",
                                       "  con blancos  "}));
        QCOMPARE(rows[1], (QStringList{"en línea", "ab", "", "4", "", ""}));
        QCOMPARE(rows[4], (QStringList{"fila 5", "", "5", "6", "", ""}));
        QCOMPARE(rows[5], (QStringList{"", "7", "", "", "", ""}));
        // The same texts in the .ods and the .csv LibreOffice wrote from one sheet.
        QCOMPARE(readFile(fixture(QStringLiteral("text_cases.ods")), 7, 4), expectedTextCases());
    }

    // Hidden tables are marked by their table style; a chosen table is read instead of the first.
    void odsSheetsListedAndChosen()
    {
        clEcxel reader;
        reader.setArchivo(fixture(QStringLiteral("hidden_first.ods")));
        const WorkbookSheetList sheets = reader.Hojas();
        QCOMPARE(sheets.size(), 2);
        QCOMPARE(sheets[0].name, QStringLiteral("Oculta"));
        QVERIFY(sheets[0].hidden);
        QCOMPARE(sheets[1].name, QStringLiteral("Visible"));
        QVERIFY(!sheets[1].hidden);
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("primera hoja"));
        reader.setHoja(1);
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("segunda hoja"));
        reader.setHoja(2);
        try {
            reader.Abrir();
            QFAIL("a third sheet does not exist");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(), QStringLiteral("El libro no tiene la hoja 3"));
            QCOMPARE(e.source(), AbrirSource);
        }
    }

    // Equal neighbouring cells written once with a count are each a cell; the counts of empty
    // cells and rows LibreOffice writes to the sheet's end cost no cells.
    void odsRepeatedCells()
    {
        const QByteArray xml = [] {
            int error = 0;
            zip_t *zip =
                zip_open(QFile::encodeName(fixture(QStringLiteral("repeated_cells.ods"))).constData(),
                         ZIP_RDONLY, &error);
            zip_file_t *part = zip ? zip_fopen(zip, "content.xml", 0) : nullptr;
            QByteArray data(1 << 16, '\0');
            const zip_int64_t n = part ? zip_fread(part, data.data(), zip_uint64_t(data.size())) : 0;
            if (part) zip_fclose(part);
            if (zip) zip_discard(zip);
            return data.left(qsizetype(std::max<zip_int64_t>(n, 0)));
        }();
        // The fixture does hold the repetitions this test is about.
        QVERIFY(xml.contains("table:number-columns-repeated=\"3\" office:value-type=\"string\""));
        QVERIFY(xml.contains("table:number-rows-repeated=\"1048572\""));
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            clEcxel reader;
            reader.setArchivo(fixture(QStringLiteral("repeated_cells.ods")));
            QVERIFY(reader.Abrir());
            QCOMPARE(readAll(reader, 4, 5), (QVector<QStringList>{{"Codigo", "A", "B", "C", ""},
                                                                  {"X", "X", "X", "1", ""},
                                                                  {"1", "1", "1", "Y", ""},
                                                                  {"", "", "", "", ""}}));
            QCOMPARE(reader.cellsHint(), size_t(12));
            QCOMPARE(loadThroughGrid(fixture(QStringLiteral("repeated_cells.ods"))),
                     (QVector<QStringList>{{"Codigo", "A", "B", "C"},
                                           {"", "", "", ""},
                                           {"X", "X", "X", "1"},
                                           {"1", "1", "1", "Y"}}));
        }
    }

    // Damaged and protected packages end in a description, never a crash; repetitions are capped.
    void odsBadInput_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("description");
        QTest::newRow("content missing")
            << "content.xml" << QByteArray() << "El libro está dañado: falta la parte content.xml";
        QTest::newRow("malformed")
            << "content.xml" << content("<table:table-row><table:table-cell></table:table-row>")
            << "El libro está dañado: la parte content.xml no es XML válido (línea 2: las "
               "etiquetas no se cierran en orden)";
        QTest::newRow("cut short")
            << "content.xml" << content("<table:table-row><table:table-cell/></table:table-row>").chopped(90)
            << "El libro está dañado: la parte content.xml no es XML válido (línea 2: "
               "una etiqueta de cierre está mal formada)";
        QTest::newRow("number that is none")
            << "content.xml"
            << content("<table:table-row><table:table-cell/><table:table-cell office:value-type=\"float\" "
                       "office:value=\"x1\"/></table:table-row>")
            << "El libro está dañado: la celda B1 tiene un valor no válido (x1)";
        QTest::newRow("date that is none")
            << "content.xml"
            << content(
                   "<table:table-row table:number-rows-repeated=\"2\"/><table:table-row><table:table-cell "
                   "office:value-type=\"date\" office:date-value=\"2024-13-45\"/></table:table-row>")
            << "El libro está dañado: la celda A3 tiene un valor no válido (2024-13-45)";
        QTest::newRow("time that is none")
            << "content.xml"
            << content("<table:table-row><table:table-cell office:value-type=\"time\" "
                       "office:time-value=\"PT1X\"/></table:table-row>")
            << "El libro está dañado: la celda A1 tiene un valor no válido (PT1X)";
        QTest::newRow("value repeated past the cap")
            << "content.xml"
            << content("<table:table-row table:number-rows-repeated=\"1048576\"><table:table-cell "
                       "table:number-columns-repeated=\"16384\" office:value-type=\"float\" "
                       "office:value=\"1\"/></table:table-row>")
            << "La hoja repite celdas con valor más de 4000000 veces, el máximo que se lee";
        QTest::newRow("value past the last row")
            << "content.xml"
            << content("<table:table-row "
                       "table:number-rows-repeated=\"1048576\"><table:table-cell/></table:table-row>"
                       "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>x</text:p>"
                       "</table:table-cell></table:table-row>")
            << "La hoja usa la fila 1048577, columna 1, fuera del máximo de Excel (1048576 filas por 16384 "
               "columnas)";
        QTest::newRow("no table") << "content.xml"
                                  << QByteArray(
                                         "<office:document-content xmlns:office=\"o\"><office:body>"
                                         "<office:spreadsheet/></office:body></office:document-content>")
                                  << "El libro no tiene ninguna hoja de cálculo";
        QTest::newRow("encrypted") << "META-INF/manifest.xml"
                                   << QByteArray(
                                          "<manifest:manifest xmlns:manifest=\"m\"><manifest:file-entry "
                                          "manifest:full-path=\"content.xml\"><manifest:encryption-data/>"
                                          "</manifest:file-entry></manifest:manifest>")
                                   << "El libro está protegido con contraseña";
    }

    void odsBadInput()
    {
        QFETCH(QString, part);
        QFETCH(QByteArray, data);
        QFETCH(QString, description);
        const QString path = madeDir.filePath(QStringLiteral("bad.ods"));
        QVERIFY(odsWithParts(fixture(QStringLiteral("invoice_libreoffice.ods")), path,
                             {{qPrintable(part), data}}));
        QElapsedTimer timer;
        timer.start();
        const PlanexoError e = openError(path);
        QCOMPARE(e.description(), description);
        QCOMPARE(e.number(), 1004L);
        QCOMPARE(e.source(), AbrirSource);
        // The sheet chooser's list fails alike, but for what only the cells show.
        if (!description.contains(QLatin1String("celda")) && !description.contains(QLatin1String("hoja")) &&
            !description.contains(QLatin1String("en orden"))) {
            clEcxel reader;
            reader.setArchivo(path);
            QVERIFY_THROWS_EXCEPTION(PlanexoError, reader.Hojas());
        }
    }

    // Every way of writing a cell the format allows reads as the usual one does: quotes, entities,
    // blanks in the markup and as elements, paragraphs, a string value that overrides the shown
    // text, comments, covered cells, rows inside groups.
    void odsCellForms()
    {
        const QString path = madeDir.filePath(QStringLiteral("forms.ods"));
        QVERIFY(odsWithParts(
            fixture(QStringLiteral("invoice_libreoffice.ods")), path,
            {{"content.xml",
              content(
                  "<table:table-header-rows><table:table-row>"
                  "<table:table-cell office:value-type='string'><text:p>a &amp; b</text:p></table:table-cell>"
                  "<table:table-cell office:value-type=\"string\"><text:p>  x \n  y  "
                  "</text:p></table:table-cell>"
                  "<table:table-cell office:value-type=\"string\"><text:p>x<text:s "
                  "text:c=\"3\"/>y<text:s/></text:p>"
                  "</table:table-cell>"
                  "<table:table-cell office:value-type=\"string\" "
                  "office:string-value=\"valor\"><text:p>visto</text:p>"
                  "</table:table-cell></table:table-row></table:table-header-rows>"
                  "<table:table-row-group><table:table-row>"
                  "<table:table-cell office:value-type=\"percentage\" "
                  "office:value=\"0.15\"><text:p>15%</text:p>"
                  "</table:table-cell>"
                  "<table:table-cell office:value-type=\"currency\" office:currency=\"ARS\" "
                  "office:value=\"-1234.5\">"
                  "<text:p>-$1.234,50</text:p></table:table-cell>"
                  "<table:covered-table-cell office:value-type=\"float\" office:value=\"3\"/>"
                  "<table:table-cell office:value-type=\"string\"><office:annotation><text:p>nota</text:p>"
                  "</office:annotation><text:p>valor</text:p></table:table-cell></table:table-row>"
                  "</table:table-row-group><table:table-row>"
                  "<table:table-cell office:value-type=\"string\"><text:p>l1</text:p><text:p>l2</text:p>"
                  "</table:table-cell>"
                  "<table:table-cell office:value-type=\"string\"><text:p>a<text:tab/>b<text:line-break/>c "
                  "<text:span text:style-name=\"T1\">d</text:span></text:p></table:table-cell>"
                  "<table:table-cell table:formula=\"of:=7\" office:value-type=\"float\" office:value=\"7\">"
                  "<text:p>7</text:p></table:table-cell>"
                  "<table:table-cell office:value-type=\"time\" "
                  "office:time-value=\"P1DT2H30M\"><text:p>x</text:p>"
                  "</table:table-cell></table:table-row>"
                  "<table:table-row><table:table-cell><text:p>sin "
                  "tipo</text:p></table:table-cell></table:table-row>")}}));
        const QVector<QStringList> want{
            {"a & b", "x y", "x   y ", "valor"},
            {"0,15", "-1234,5", "3", "valor"},
            {"l1\nl2", "a\tb\nc d", "7", "1/1/1900 02:30:00"},
            {"sin tipo", "", "", ""},
        };
        QCOMPARE(readFile(path, 4, 4), want);
        QVector<QStringList> grid = want;
        grid.insert(1, QStringList(4, QString()));
        QCOMPARE(loadThroughGrid(path), grid);
    }

    // A sheet of every kind of cell LibreOffice and Gnumeric write, read as the second reader
    // (ssconvert) reads it: once as written, where most cells take the short way straight from the
    // bytes, and once with every attribute spaced so that each cell is read token by token. Every
    // cell of both, through the grid and through LeerCelda, in both locales.
    void odsUsualCellsReadAsTheGeneralOnes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("comma");
        for (const bool c : {true, false})
            for (const char *file : {"cells_gnumeric", "cells_libreoffice"})
                QTest::addRow("%s %s", file, c ? "comma" : "point") << QString::fromLatin1(file) << c;
    }

    void odsUsualCellsReadAsTheGeneralOnes()
    {
        QFETCH(QString, file);
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        constexpr int Cols = 10;
        QVector<QStringList> want = csvRows(fileBytes(fixture(file + QStringLiteral(".csv"))), Cols);
        QCOMPARE(want.size(), 173);
        for (QStringList &row : want)
            for (QString &text : row)
                text = gridText(text, comma);

        const QString written = fixture(file + QStringLiteral(".ods"));
        const QByteArray xml = zipEntry(written, "content.xml");
        // The fixture holds what the short way must get right: texts to normalise and to decode,
        // numbers of 21 digits (Gnumeric) or 15 (LibreOffice), cells written once for two.
        QVERIFY(xml.contains("<text:s text:c=\"2\"/>"));
        QVERIFY(xml.contains("&amp;"));
        QVERIFY(xml.contains("office:date-value=\"2021-02-02\""));
        QVERIFY(xml.contains("office:boolean-value=\"true\""));
        QVERIFY(xml.contains(file.contains(QLatin1String("gnumeric"))
                                 ? "office:value=\"0.904200000000000100008\""
                                 : "office:value=\"0.9042\""));
        QVERIFY(xml.contains("table:number-columns-repeated=\"2\" office:value-type=\"") ||
                file.contains(QLatin1String("gnumeric")));
        const QString spaced = madeDir.filePath(file + QStringLiteral("_spaced.ods"));
        QVERIFY(odsWithParts(written, spaced, {{"content.xml", spacedAttributes(xml)}}));

        for (const QString &path : {written, spaced}) {
            const QVector<QStringList> cells = readFile(path, int(want.size()) + 1, Cols);
            QCOMPARE(cells.size(), want.size() + 1);
            for (qsizetype r = 0; r < want.size(); ++r)
                QCOMPARE(cells[r], want[r]);
            QCOMPARE(cells.last(), QStringList(Cols, QString()));

            QVector<QStringList> grid = loadThroughGrid(path);
            QCOMPARE(grid.size(), want.size() + 1);
            QCOMPARE(grid[1], QStringList(Cols, QString())); // the grid's blank row below the headings
            grid.removeAt(1);
            for (qsizetype r = 0; r < want.size(); ++r)
                QCOMPARE(grid[r], want[r]);
        }
    }

    // A row written once for three keeps the texts of its cells for the copies, whatever form they
    // were read from: a paragraph whose blanks are collapsed, a string value that overrides the
    // text, Gnumeric numbers of 21 digits, one with an exponent, attributes in another order and in
    // single quotes.
    void odsRepeatedRowKeepsItsTexts()
    {
        const QString path = madeDir.filePath(QStringLiteral("repeated_texts.ods"));
        QVERIFY(odsWithParts(
            fixture(QStringLiteral("invoice_libreoffice.ods")), path,
            {{"content.xml",
              content("<table:table-row table:number-rows-repeated=\"3\">"
                      "<table:table-cell office:value-type=\"string\"><text:p>uno  dos "
                      "</text:p></table:table-cell>"
                      "<table:table-cell office:string-value=\"valor\" office:value-type=\"string\">"
                      "<text:p>visto</text:p></table:table-cell>"
                      "<table:table-cell office:value-type='string'><text:p> "
                      "tres\tcuatro</text:p></table:table-cell>"
                      "<table:table-cell office:value='0.300000000000000044409' table:style-name='x' "
                      "office:value-type='float'><text:p>0.3</text:p></table:table-cell>"
                      "<table:table-cell table:number-columns-repeated=\"2\" office:value-type=\"float\" "
                      "office:value=\"0.666666666666666629659\"><text:p>0.67</text:p></table:table-cell>"
                      "<table:table-cell office:value-type=\"float\" "
                      "office:value=\"-1.23456789012345178901E-05\">"
                      "<text:p>0</text:p></table:table-cell></"
                      "table:table-row><table:table-row><table:table-cell office:value-type=\"string\">"
                      "<text:p>fin</text:p></table:table-cell></table:table-row>")}}));
        for (const bool c : {true, false}) {
            c ? TestEnv::useComma() : TestEnv::usePoint();
            const QStringList row{"uno dos",
                                  "valor",
                                  "tres cuatro",
                                  c ? "0,3" : "0.3",
                                  c ? "0,666666666666667" : "0.666666666666667",
                                  c ? "0,666666666666667" : "0.666666666666667",
                                  c ? "-1,23456789012345E-05" : "-1.23456789012345E-05"};
            const QStringList last{"fin", "", "", "", "", "", ""};
            QCOMPARE(readFile(path, 4, 7), (QVector<QStringList>{row, row, row, last}));
            QCOMPARE(loadThroughGrid(path),
                     (QVector<QStringList>{row, QStringList(7, QString()), row, row, last}));
        }
    }

    // A document LibreOffice saved with a password: refused as such, its list of sheets too.
    void odsProtected()
    {
        const QString path = fixture(QStringLiteral("protected.ods"));
        const PlanexoError e = openError(path);
        QCOMPARE(e.description(), QStringLiteral("El libro está protegido con contraseña"));
        QCOMPARE(e.number(), 1004L);
        QCOMPARE(e.source(), AbrirSource);
        clEcxel reader;
        reader.setArchivo(path);
        try {
            reader.Hojas();
            QFAIL("the sheets of a protected document cannot be listed");
        } catch (const PlanexoError &listError) {
            QCOMPARE(listError.description(), e.description());
        }
    }

    // Rows and cells repeated past the grid with nothing in them are read in no time.
    void odsEmptyRepetitionsCostNothing()
    {
        const QString path = madeDir.filePath(QStringLiteral("long.ods"));
        QVERIFY(odsWithParts(
            fixture(QStringLiteral("invoice_libreoffice.ods")), path,
            {{"content.xml",
              content("<table:table-row><table:table-cell office:value-type=\"string\"><text:p>A</text:p>"
                      "</table:table-cell><table:table-cell table:number-columns-repeated=\"4000000000\"/>"
                      "</table:table-row><table:table-row table:number-rows-repeated=\"4000000000\">"
                      "<table:table-cell table:number-columns-repeated=\"16384\"/></table:table-row>"
                      "<table:table-row table:number-rows-repeated=\"4000000000\"/>")}}));
        clEcxel reader;
        reader.setArchivo(path);
        QVERIFY(reader.Abrir());
        QCOMPARE(reader.LeerCelda(1, 1), QStringLiteral("A"));
        QCOMPARE(reader.cellsHint(), size_t(1));

        // A row with values written once for three rows is three rows, in order.
        QVERIFY(odsWithParts(
            fixture(QStringLiteral("invoice_libreoffice.ods")), path,
            {{"content.xml",
              content(
                  "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>C</text:p>"
                  "</table:table-cell></table:table-row><table:table-row table:number-rows-repeated=\"3\">"
                  "<table:table-cell table:number-columns-repeated=\"2\" office:value-type=\"float\" "
                  "office:value=\"2.5\"/><table:table-cell/><table:table-cell office:value-type=\"boolean\" "
                  "office:boolean-value=\"true\"/></table:table-row><table:table-row><table:table-cell "
                  "office:value-type=\"string\"><text:p>fin</text:p></table:table-cell></"
                  "table:table-row>")}}));
        QVERIFY(reader.Abrir());
        QCOMPARE(readAll(reader, 6, 4), (QVector<QStringList>{{"C", "", "", ""},
                                                              {"2,5", "2,5", "", "Verdadero"},
                                                              {"2,5", "2,5", "", "Verdadero"},
                                                              {"2,5", "2,5", "", "Verdadero"},
                                                              {"fin", "", "", ""},
                                                              {"", "", "", ""}}));
        QCOMPARE(loadThroughGrid(path).last(), (QStringList{"fin"}));
    }

    // Every prefix of a package is refused with a description or read, never a crash.
    void odsEveryTruncation()
    {
        const QByteArray data = fileBytes(fixture(QStringLiteral("invoice_gnumeric.ods")));
        QVERIFY(!data.isEmpty());
        const QString path = madeDir.filePath(QStringLiteral("cut.ods"));
        int refused = 0;
        for (qsizetype len = 1; len < data.size(); len += 61) {
            QFile cut(path);
            QVERIFY(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
            cut.write(data.left(len));
            cut.close();
            const PlanexoError e = openError(path);
            if (e.number() == 0) continue;
            ++refused;
            QCOMPARE(e.source(), AbrirSource);
            QVERIFY(!e.description().isEmpty());
        }
        QVERIFY(refused > 0);
    }

    // ---- delimited text ----

    void csvInvoiceOfEveryEncodingAndDelimiter_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("comma");
        // Exported in the locale that reads them: ';' with decimal commas, ',' and tab with points.
        QTest::newRow("; UTF-8") << "invoice_semicolon.csv" << true;
        QTest::newRow("; Windows-1252") << "invoice_1252.csv" << true;
        QTest::newRow("; UTF-16") << "invoice_utf16.csv" << true;
        QTest::newRow(", UTF-8") << "invoice_comma.csv" << false;
        QTest::newRow("tab UTF-8") << "invoice_tab.txt" << false;
    }

    // Numbers are numbers, written back in the locale's general format; dates and codes stay texts
    // exactly as written; the grid is the same through the streamed load.
    void csvInvoiceOfEveryEncodingAndDelimiter()
    {
        QFETCH(QString, file);
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        const QVector<QStringList> want = expectedInvoice(true);
        QCOMPARE(readFile(fixture(file), 10, 8), want);

        WorkbookSheet sheet;
        csv::read(fixture(file), sheet);
        QCOMPARE(sheet.find(2, 3)->kind, WorkbookSheet::Kind::Number); // 100
        QCOMPARE(sheet.find(2, 4)->kind, WorkbookSheet::Kind::Number); // 1234.5
        QCOMPARE(sheet.find(5, 1)->kind, WorkbookSheet::Kind::Number); // 4711
        QCOMPARE(sheet.find(2, 5)->kind, WorkbookSheet::Kind::Text);   // 7318.15.00
        QCOMPARE(sheet.find(2, 7)->kind, WorkbookSheet::Kind::Text);   // the date as written
        QCOMPARE(sheet.find(6, 2)->kind, WorkbookSheet::Kind::Text);   // Cable 'unipolar' 2,5 mm

        QVector<QStringList> grid = want.mid(0, 9);
        for (QStringList &row : grid)
            row.removeLast();
        grid.insert(1, QStringList(7, QString()));
        QCOMPARE(loadThroughGrid(fixture(file)), grid);
    }

    // The streamed load takes a row whole when every field is shown as written and cell by cell
    // otherwise; both give the texts the cell-by-cell read gives, in both locales, up to the empty
    // row that ends the data.
    void csvRowsWholeAndCellByCell()
    {
        const QString file = fixture(QStringLiteral("mixed_rows.csv"));
        for (const bool comma : {true, false}) {
            comma ? TestEnv::useComma() : TestEnv::usePoint();
            const QVector<QStringList> grid = loadThroughGrid(file);
            QCOMPARE(grid.size(), 10); // headings, the mapping row, eight data rows
            const QVector<QStringList> cells = readFile(file, 11, 7);
            QCOMPARE(grid[0], cells[0].mid(0, 5));
            for (int r = 2; r < grid.size(); ++r)
                QCOMPARE(grid[r], cells[r - 1].mid(0, 5));
            QCOMPARE(cells[9], QStringList(7, QString())); // the empty row
            QCOMPARE(cells[10].mid(0, 2), (QStringList{"A-9", QStringLiteral("después del vacío")}));
            if (!comma) {
                QCOMPARE(grid[2][3], QStringLiteral("0,25"));
                QCOMPARE(grid[4][2], QStringLiteral("1.234,50"));
                continue;
            }
            QCOMPARE(grid[2], (QStringList{"A-1", "Tornillo", "10", "0,25", "simple"}));
            QCOMPARE(grid[3], (QStringList{"A-2", "Tuerca; con punto y coma", "2", "1234,5", ""}));
            QCOMPARE(grid[4], (QStringList{"A-3", "Arandela", "1234,5", "5", "1,5"}));
            QCOMPARE(grid[5], (QStringList{"007", "Dijo \"hola\"", "3", "12", "x"}));
            QCOMPARE(grid[6], (QStringList{"A-5", QStringLiteral("línea 1\nlínea 2"), "4", "1000", "7"}));
            QCOMPARE(grid[7], (QStringList{"A-6", "Clavo", "-3", "0,001", "extra"}));
            QCOMPARE(grid[8], (QStringList{"A-7", "", "", "", ""}));
            QCOMPARE(grid[9].mid(0, 4), (QStringList{"A-8", "Perno", "8400.10.00", "2023/03/15"}));
        }
    }

    // A file exported in one locale and read in the other: its numbers do not read as numbers
    // there and stay the texts written, never other numbers (1234,5 is no 12345 under points).
    void csvFromTheOtherLocale()
    {
        TestEnv::usePoint();
        QVector<QStringList> rows = readFile(fixture(QStringLiteral("invoice_semicolon.csv")), 10, 8);
        QCOMPARE(rows[1][3], QStringLiteral("1234,5"));
        QCOMPARE(rows[5][3], QStringLiteral("1234567,891"));
        QCOMPARE(rows[7][2], QStringLiteral("0,5"));
        QCOMPARE(rows[1][2], QStringLiteral("100"));
        TestEnv::useComma();
        rows = readFile(fixture(QStringLiteral("invoice_comma.csv")), 10, 8);
        QCOMPARE(rows[1][3], QStringLiteral("1234.5"));
        QCOMPARE(rows[5][3], QStringLiteral("1234567.891"));
        QCOMPARE(rows[8][3], QStringLiteral("0.001"));
        QCOMPARE(rows[7][3], QStringLiteral("-12.5"));
    }

    // Quoted fields holding the delimiter, doubled quotes and a line break; leading zeros and a
    // 19-digit code kept as text.
    void csvTextCases_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("comma");
        QTest::newRow(";") << "text_cases.csv" << true;
        QTest::newRow(",") << "text_cases_comma.csv" << false;
    }

    void csvTextCases()
    {
        QFETCH(QString, file);
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        QCOMPARE(readFile(fixture(file), 7, 4), expectedTextCases());
        clEcxel reader;
        reader.setArchivo(fixture(file));
        const WorkbookSheetList sheets = reader.Hojas();
        QCOMPARE(sheets.size(), 1);
        QCOMPARE(sheets[0].name, QFileInfo(file).completeBaseName());
        reader.setHoja(1);
        QVERIFY_THROWS_EXCEPTION(PlanexoError, reader.Abrir());
    }

    // What reads as a number in each locale, and what stays text.
    void csvNumbers_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("number");
        QTest::addColumn<double>("value");
        const auto row = [](bool comma, const char *field, bool number, double value = 0) {
            QTest::addRow("%s [%s]", comma ? "comma" : "point", field)
                << comma << QString::fromUtf8(field) << number << value;
        };
        for (const bool c : {true, false}) {
            row(c, "0", true, 0);
            row(c, "-7", true, -7);
            row(c, "+7", true, 7);
            row(c, " 12 ", true, 12);
            row(c, "1E3", true, 1000);
            row(c, "00123", false);
            row(c, "0123", false);
            row(c, "-0123", false);
            row(c, "1234567890123456", false); // 16 digits: a code a double would change
            row(c, "123456789012345", true, 123456789012345.0);
            row(c, "A-100", false);
            row(c, "12 34", false);
            row(c, "", false);
            row(c, "-", false);
            row(c, "1e", false);
        }
        row(true, "1234,5", true, 1234.5);
        row(true, "0,5", true, 0.5);
        row(true, ",5", true, 0.5);
        row(true, "1.234,5", true, 1234.5);
        row(true, "1.234.567", true, 1234567);
        row(true, "7318.15.00", false);
        row(true, "1.5", false);
        row(true, "1234.5", false);
        row(true, "0.123", false);
        row(true, "0,000000000000000000001", true, 1e-21);
        row(false, "1234.5", true, 1234.5);
        row(false, "1,234.5", true, 1234.5);
        row(false, "2,5", false);
        row(false, "1234,5", false);
        row(false, "1.5.1", false);
    }

    void csvNumbers()
    {
        QFETCH(bool, comma);
        QFETCH(QString, field);
        QFETCH(bool, number);
        QFETCH(double, value);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        double got = -99;
        const QByteArray utf8 = field.toUtf8();
        QCOMPARE(csv::numberOf(std::string_view(utf8.constData(), size_t(utf8.size())), got), number);
        if (number) QCOMPARE(got, value);
    }

    // The delimiter that splits the first lines evenly; the locale's own first when several do.
    void csvDelimiterAndEncoding()
    {
        QCOMPARE(csv::detectDelimiter("a;b,c\n1;2,5\n"), ';'); // comma locale: ';' first
        TestEnv::usePoint();
        QCOMPARE(csv::detectDelimiter("a;b,c\n1;2,5\n"), ',');
        QCOMPARE(csv::detectDelimiter("a,b;c\n1,5;2,5,7\n"), ';'); // ',' splits unevenly
        QCOMPARE(csv::detectDelimiter("a\tb\tc\n1\t2,5\t3\n"), '\t');
        QCOMPARE(csv::detectDelimiter("solo\nuna columna\n"), ',');
        // A quoted line break does not end the record that decides.
        QCOMPARE(csv::detectDelimiter("a;b\n\"x\ny\";2\n"), ';');

        // The same text from each encoding.
        const QByteArray utf8 = csv::toUtf8(fileBytes(fixture(QStringLiteral("invoice_semicolon.csv"))));
        QVERIFY(utf8.contains("Válvula"));
        QCOMPARE(csv::toUtf8(fileBytes(fixture(QStringLiteral("invoice_1252.csv")))), utf8);
        QCOMPARE(csv::toUtf8(fileBytes(fixture(QStringLiteral("invoice_utf16.csv")))), utf8);
        // Windows-1252's own characters, and a BOM dropped.
        QCOMPARE(csv::toUtf8("\x80 \x93x\x94 \xF1"), QByteArray("€ “x” ñ"));
        QCOMPARE(csv::toUtf8("\xEF\xBB\xBF"
                             "a"),
                 QByteArray("a"));
        QCOMPARE(csv::toUtf8(QByteArray("\xFE\xFF\x00\xF1", 4)), QByteArray("ñ"));
    }

    // Excel's "sep=" line chooses the delimiter where the lines alone would choose another.
    void csvDelimiterHint()
    {
        const QString path = madeDir.filePath(QStringLiteral("hint.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("sep=,\r\nCodigo;Nombre,Total\r\nA;1,2\r\n");
        file.close();
        QCOMPARE(readFile(path, 3, 3),
                 (QVector<QStringList>{{"Codigo;Nombre", "Total", ""}, {"A;1", "2", ""}, {"", "", ""}}));
    }

    // ---- PDF ----

    // Words to a table: a title spanning the columns stays whole in the first; a quantity heading set
    // left over numbers set right is one column; amounts set right with the origin set left 1.5
    // points after them are two; wide gaps are blank rows; the second page is cut as the first.
    void pdfWordsToTable()
    {
        pdf::Page one{612, 792, {}}, two{612, 792, {}};
        auto line = [](pdf::Page &page, double y, std::initializer_list<pdf::Word> words) {
            for (pdf::Word w : words) {
                w.y0 = y - 8;
                w.y1 = y;
                page.words.push_back(w);
            }
        };
        line(one, 40, {pw(50, 95, 0, "FACTURA"), pw(97.5, 107, 0, "DE"), pw(109.5, 330, 0, "EXPORTACION")});
        const auto heading = [&](pdf::Page &page, double y) {
            line(page, y,
                 {pw(50, 80, 0, "Codigo"), pw(120, 170, 0, "Descripcion"), pw(250, 288, 0, "Cantidad"),
                  pw(355, 380, 0, "Total"), pw(381.5, 410, 0, "Origen")});
        };
        heading(one, 100);
        line(one, 112,
             {pw(50, 62, 0, "A-1"), pw(120, 150, 0, "Tornillo"), pw(152.2, 160, 0, "de"),
              pw(162.2, 190, 0, "acero"), pw(292, 300, 0, "10"), pw(352, 380, 0, "1.234,50"),
              pw(381.5, 405, 0, "CHINA")});
        line(one, 124,
             {pw(50, 62, 0, "A-2"), pw(120, 150, 0, "Tuerca"), pw(296, 300, 0, "2"), pw(360, 380, 0, "12,00"),
              pw(381.5, 404, 0, "BRASIL")});
        line(one, 136,
             {pw(50, 62, 0, "A-3"), pw(120, 150, 0, "Arandela"), pw(289.5, 300, 0, "100"),
              pw(359, 380, 0, "500,25"), pw(381.5, 420, 0, "P.R."), pw(422, 440, 0, "CHINA")});
        line(one, 148, {pw(120, 140, 0, "Total"), pw(352, 380, 0, "1.746,75")});
        line(one, 200, {pw(50, 150, 0, "Firma:"), pw(152.5, 200, 0, "________")});
        heading(two, 100);
        line(two, 112,
             {pw(50, 62, 0, "B-2"), pw(120, 150, 0, "Tuerca"), pw(294, 300, 0, "5"), pw(361, 380, 0, "1,50"),
              pw(381.5, 405, 0, "USA")});
        const pdf::Table table = pdf::buildTable({one, two});
        QCOMPARE(table.columns, 5u);
        const QStringList headings = {"Codigo", "Descripcion", "Cantidad", "Total", "Origen"};
        const QVector<QStringList> first = {
            {"FACTURA DE EXPORTACION", "", "", "", ""},
            {"", "", "", "", ""},
            headings,
            {"A-1", "Tornillo de acero", "10", "1.234,50", "CHINA"},
            {"A-2", "Tuerca", "2", "12,00", "BRASIL"},
            {"A-3", "Arandela", "100", "500,25", "P.R. CHINA"},
            {"", "Total", "", "1.746,75", ""},
            {"", "", "", "", ""},
            {"Firma: ________", "", "", "", ""},
        };
        QCOMPARE(table.pageStart, (std::vector<size_t>{0, 9, 11}));
        QCOMPARE(tableRows(table, 0, 9), first);
        QCOMPARE(tableRows(table, 9),
                 (QVector<QStringList>{headings, {"B-2", "Tuerca", "5", "1,50", "USA"}}));
        QCOMPARE(pdf::decimalSeparator(table, '.'), ',');

        // No words, words without text, boxes inside out or out of any page: no rows, no crash.
        pdf::Page odd{612,
                      792,
                      {pw(10, 5, 10, "x"), pw(1, 2, 3, ""), pdf::Word{NAN, 0, 1, 1, "n", false},
                       pdf::Word{0, 0, 1e300, 1, "big", false}}};
        const pdf::Table none = pdf::buildTable({odd, pdf::Page{}});
        QVERIFY(none.rows.empty());
        QCOMPARE(none.pageStart, (std::vector<size_t>{0, 0, 0}));
    }

    void pdfNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<bool>("number");
        QTest::addColumn<double>("value");
        const auto row = [](const char *text, const char *decimal, bool number, double value) {
            QTest::addRow("%s (%s)", text, decimal)
                << QString::fromUtf8(text) << QString::fromLatin1(decimal) << number << value;
        };
        row("1.234,50", ",", true, 1234.5);
        row("1,234.50", ".", true, 1234.5);
        row("1234,5", ",", true, 1234.5);
        row("-12,5", ",", true, -12.5);
        row("1.234", ",", true, 1234);
        row("1,234", ".", true, 1234);
        row("1.234.567,891", ",", true, 1234567.891);
        row("0,5", ",", true, 0.5);
        row("123456789012345", ".", true, 123456789012345.0);
        row("4.25", ".", true, 4.25);
        // Codes and texts stay text.
        row("1234567890123456", ".", false, 0);
        row("0117", ",", false, 0);
        row("8205.20.00", ".", false, 0);
        row("8205.20.00", ",", false, 0);
        row("12.34", ",", false, 0);
        row("12,34,567", ".", false, 0);
        row("1,234.50", ",", false, 0);
        row("1234.", ".", false, 0);
        row(",5", ",", false, 0);
        row("-", ".", false, 0);
        row("", ".", false, 0);
        row("$ 10", ".", false, 0);
        row("10 %", ".", false, 0);
    }

    // Printed numbers read as the .csv reader reads them, with the separator the document uses.
    void pdfNumbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, decimal);
        QFETCH(bool, number);
        QFETCH(double, value);
        double read = -1;
        QCOMPARE(pdf::numberOf(text.toStdString(), decimal.at(0).toLatin1(), read), number);
        if (number) QCOMPARE(read, value);
        // The document's separator: told by a text with both, or by decimals not in threes.
        pdf::Table table;
        table.columns = 1;
        table.rows = {{"1.234"}};
        QCOMPARE(pdf::decimalSeparator(table, '?'), '?');
        table.rows.push_back({"1.234,50"});
        QCOMPARE(pdf::decimalSeparator(table, '.'), ',');
        table.rows = {{"4.25"}, {"7.2"}, {"8205.20.00"}};
        QCOMPARE(pdf::decimalSeparator(table, ','), '.');
    }

    // The helper's output is read strictly: every departure from the protocol is refused.
    void pdfProtocol()
    {
        const QByteArray words = "1000 2000 3050 2800 1 Código\n-5 0 100 800 0 1.234,50 USD\n";
        const pdf::HelperOutput out = pdf::parseHelperOutput(helperOutput(words, 2));
        QCOMPARE(out.pages.size(), size_t(1));
        QCOMPARE(out.pages[0].width, 612.0);
        QCOMPARE(out.pages[0].words.size(), size_t(2));
        const pdf::Word &w = out.pages[0].words[0];
        QCOMPARE(w.x0, 10.0);
        QCOMPARE(w.y0, 20.0);
        QCOMPARE(w.x1, 30.5);
        QCOMPARE(w.y1, 28.0);
        QVERIFY(w.spaceAfter);
        QCOMPARE(QString::fromStdString(w.text), QStringLiteral("Código"));
        QCOMPARE(out.pages[0].words[1].text, std::string("1.234,50 USD"));
        QVERIFY(pdf::parseHelperOutput("planexo-pdftext 1\nerror locked\n").kind ==
                pdf::HelperOutput::Kind::Locked);
        QVERIFY(pdf::parseHelperOutput("planexo-pdftext 1\nerror damaged\n").kind ==
                pdf::HelperOutput::Kind::Damaged);
        QVERIFY(pdf::parseHelperOutput("planexo-pdftext 1\npages 0\nend\n").pages.empty());

        const QList<QByteArray> bad = {
            "",
            "planexo-pdftext 2\npages 0\nend\n",
            "planexo-pdftext 1\npages 0\n",
            "planexo-pdftext 1\npages 0\nend",
            "planexo-pdftext 1\npages 0\nend\nmore\n",
            "planexo-pdftext 1\npages -1\nend\n",
            "planexo-pdftext 1\npages 1\nend\n",
            "planexo-pdftext 1\npages 1\npage 2 61200 79200 0\nend\n",
            "planexo-pdftext 1\npages 1\npage 1 0 79200 0\nend\n",
            "planexo-pdftext 1\npages 1\npage 1 61200 79200 1\nend\n",
            "planexo-pdftext 1\npages 1\npage 1 61200 79200 0 x\nend\n",
            "planexo-pdftext 1\nerror locked\nend\n",
            helperOutput("100 200 50 300 0 x\n", 1),   // inside out
            helperOutput("100 200 300 300 2 x\n", 1),  // no flag
            helperOutput("100 200 300 300 0\n", 1),    // no text
            helperOutput("100 200 300 300 0  x\n", 1), // a blank first
            helperOutput("0100 200 300 300 0 x\n", 1), // a leading zero
            helperOutput("+100 200 300 300 0 x\n", 1),
            helperOutput("100 200 300 3000000000000 0 x\n", 1),
            helperOutput("100 200 300 300 0 a\tb\n", 1),         // a control character
            helperOutput("100 200 300 300 0 \xC3\n", 1),         // cut UTF-8
            helperOutput("100 200 300 300 0 \xED\xA0\x80\n", 1), // a surrogate
            helperOutput("100 200 300 300 0 \xC0\xAF\n", 1),     // overlong
            helperOutput("100 200 300 300 0 " + QByteArray(5000, 'x') + "\n", 1),
        };
        for (const QByteArray &output : bad) {
            bool refused = false;
            try {
                pdf::parseHelperOutput(output);
            } catch (const pdf::ProtocolError &) {
                refused = true;
            }
            QVERIFY2(refused, output.left(120).constData());
        }
    }

    void pdfInvoicesOfEveryProducer_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("headingRow");
        QTest::addColumn<QStringList>("sheets");
        QTest::addColumn<bool>("comma");
        for (const bool c : {true, false}) {
            const char *locale = c ? "comma" : "point";
            QTest::addRow("libreoffice %s", locale)
                << "layout_letterhead_libreoffice.pdf" << 9 << QStringList{"Página 1"} << c;
            QTest::addRow("reportlab unruled %s", locale)
                << "invoice_reportlab_unruled.pdf" << 6 << QStringList{"Página 1"} << c;
            QTest::addRow("wkhtmltopdf %s", locale)
                << "invoice_wkhtmltopdf.pdf" << 4 << QStringList{"Página 1"} << c;
            QTest::addRow("reportlab ruled %s", locale)
                << "invoice_reportlab_ruled.pdf" << 6 << QStringList{"Páginas 1-2", "Página 1", "Página 2"}
                << c;
        }
    }

    // The ten articles of each printed invoice read as those of the clean workbook, cell by cell,
    // in either locale, whatever separator the invoice prints; the pages joined, then each alone.
    void pdfInvoicesOfEveryProducer()
    {
#ifndef PLANEXO_PDFTEXT_EXE
        QSKIP("planexo-pdftext is not built (poppler's C++ library was not found)");
#endif
        QFETCH(QString, file);
        QFETCH(int, headingRow);
        QFETCH(QStringList, sheets);
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        QVector<QStringList> clean = readFile(fixture(QStringLiteral("layout_clean.xlsx")), 11, 9);
        clean.removeFirst();

        clEcxel reader;
        reader.setArchivo(fixture(file));
        QStringList names;
        // A file of several pages tells them as the helper reads them.
        QList<QPair<int, int>> told;
        pdf::setProgressListener([&told](int page, int pages) { told << qMakePair(page, pages); });
        for (const WorkbookSheetInfo &sheet : reader.Hojas())
            names << sheet.name;
        pdf::setProgressListener(nullptr);
        QCOMPARE(names, sheets);
        if (sheets.size() > 1) {
            QVERIFY(!told.isEmpty());
            QCOMPARE(told.last(), qMakePair(2, 2));
        }
        QVERIFY(reader.Abrir());
        const QVector<QStringList> all = readAll(reader, 40, 10);
        QVector<QStringList> items;
        for (int r = headingRow; r < all.size() && items.size() < 10; ++r) {
            const QStringList row = all[r].mid(0, 9);
            if (row[7].count(QLatin1Char('.')) == 2) items << row; // an item has its NCM position
        }
        QCOMPARE(items, clean);
        QCOMPARE(all[headingRow - 1][0],
                 file.startsWith("layout") ? QStringLiteral("Item No.") : QStringLiteral("Código"));
        QVERIFY(all[headingRow - 1][9].isEmpty());
        if (sheets.size() > 1) {
            // The second page alone: its heading repeated on top, then its four articles.
            reader.setHoja(2);
            QVERIFY(reader.Abrir());
            const QVector<QStringList> page = readAll(reader, 5, 9);
            QCOMPARE(page[0][0], QStringLiteral("Código"));
            QCOMPARE(page.mid(1), clean.mid(6));
            reader.setHoja(3);
            try {
                reader.Abrir();
                QFAIL("a fourth sheet opened");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.description(), QStringLiteral("El libro no tiene la hoja 4"));
            }
        }
    }

    // A scan, a PDF with a password, a damaged one, and a helper that crashes, hangs, allocates without
    // end or breaks the protocol: each ends in its own message.
    void pdfRefusals()
    {
#ifndef PLANEXO_PDFTEXT_EXE
        QSKIP("planexo-pdftext is not built (poppler's C++ library was not found)");
#endif
        const auto description = [](const QString &path) { return openError(path).description(); };
        QCOMPARE(description(fixture(QStringLiteral("scanned.pdf"))),
                 QStringLiteral("El PDF no tiene texto: es una imagen escaneada"));
        QCOMPARE(description(fixture(QStringLiteral("encrypted.pdf"))),
                 QStringLiteral("El libro está protegido con contraseña"));
        const PlanexoError damaged = openError(fixture(QStringLiteral("damaged.pdf")));
        QCOMPARE(damaged.description(), QStringLiteral("El libro está dañado: no es un PDF válido"));
        QCOMPARE(damaged.number(), 1004L);
        QCOMPARE(damaged.source(), AbrirSource);

        // A copy, so that no result of the real helper is remembered for it.
        const QString invoice = madeDir.filePath(QStringLiteral("hostil.pdf"));
        QVERIFY(QFile::copy(fixture(QStringLiteral("invoice_wkhtmltopdf.pdf")), invoice));
        const QByteArray helper = qgetenv("PLANEXO_PDFTEXT");
        // The real helper again even when a comparison below fails, for the tests that follow.
        const auto restore = qScopeGuard([&helper] { qputenv("PLANEXO_PDFTEXT", helper); });
        const pdf::HelperLimits limits = pdf::limits();
        qputenv("PLANEXO_PDFTEXT", PLANEXO_PDFTEXT_MISBEHAVING);
        pdf::setLimits({1500, qint64(256) << 20});
        const auto misbehaving = [&](const char *how) {
            qputenv("PLANEXO_MISBEHAVE", how);
            return description(invoice);
        };
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(misbehaving("hang"),
                 QStringLiteral("El PDF no se pudo leer: el lector de PDF no respondió en 2 segundos"));
        QVERIFY(timer.elapsed() < 20000);
        QCOMPARE(misbehaving("crash"),
                 QStringLiteral("El PDF no se pudo leer: el lector de PDF terminó de forma inesperada"));
        QCOMPARE(misbehaving("garbage"),
                 QStringLiteral("El PDF no se pudo leer: el lector de PDF dio una respuesta no válida "
                                "(línea 5: número no válido)"));
// Under AddressSanitizer no address-space limit is set; on Windows the real helper caps itself.
#if !defined(__SANITIZE_ADDRESS__) && !defined(Q_OS_WIN)
        QCOMPARE(misbehaving("bomb"),
                 QStringLiteral("El PDF no se pudo leer: el lector de PDF superó el límite de memoria"));
#endif
        qputenv("PLANEXO_PDFTEXT", QByteArray("/no/such/planexo-pdftext"));
        QVERIFY(description(invoice).startsWith(QStringLiteral("No se encuentra el lector de PDF")));
        qputenv("PLANEXO_PDFTEXT", helper);
        qunsetenv("PLANEXO_MISBEHAVE");
        pdf::setLimits(limits);
        QCOMPARE(readFile(invoice, 4, 1)[3][0], QStringLiteral("Código"));
    }

    // ---- recognising files ----

    // A text file of any name reads as a table; a document of another program is named; a sound
    // file is never called damaged.
    void filesRecognisedByContent()
    {
        // Text under a workbook's name.
        QCOMPARE(readFile(fixture(QStringLiteral("text.xlsx")), 2, 3),
                 (QVector<QStringList>{{"Codigo", "Descripcion", ""}, {"A-100", "Tornillo", ""}}));
        // An .ods under an .xlsx name, a .csv under an .ods name.
        const QString odsNamed = madeDir.filePath(QStringLiteral("factura.xlsx"));
        QVERIFY(QFile::copy(fixture(QStringLiteral("invoice_libreoffice.ods")), odsNamed));
        QCOMPARE(readFile(odsNamed, 10, 8), expectedInvoice());
        const QString csvNamed = madeDir.filePath(QStringLiteral("factura.ods"));
        QVERIFY(QFile::copy(fixture(QStringLiteral("invoice_semicolon.csv")), csvNamed));
        QCOMPARE(readFile(csvNamed, 10, 8), expectedInvoice(true));

        // A PDF is read as a printed table (LibreOffice's print of the text cases).
#ifdef PLANEXO_PDFTEXT_EXE
        QCOMPARE(readFile(fixture(QStringLiteral("not_a_workbook.pdf")), 1, 1)[0][0],
                 QStringLiteral("Codigo"));
#endif
        const QString png = fixture(QStringLiteral("not_a_workbook.png"));
        const PlanexoError image = openError(png);
        QCOMPARE(image.description(),
                 QStringLiteral("El archivo %1 no es un libro de Excel: es una imagen PNG").arg(png));
        QCOMPARE(image.number(), 1004L);
        QCOMPARE(image.source(), AbrirSource);
        // The other Office programs' files, old and new, and OpenDocument's text and slides.
        const QString doc = fixture(QStringLiteral("not_a_workbook.doc"));
        QCOMPARE(openError(doc).description(),
                 QStringLiteral("El archivo no es un libro de Excel: es un documento de Word"));
        for (const auto &[file, what] :
             {std::pair{"not_a_workbook.docx", "un documento de Word"},
              std::pair{"not_a_workbook.pptx", "una presentación de PowerPoint"},
              std::pair{"not_a_workbook.odt", "un documento de texto de OpenDocument"},
              std::pair{"not_a_workbook.odp", "una presentación de OpenDocument"}}) {
            const QString path = fixture(QString::fromUtf8(file));
            QCOMPARE(openError(path).description(),
                     QStringLiteral("El archivo %1 no es un libro de Excel: es %2")
                         .arg(path, QString::fromUtf8(what)));
        }
        // A binary file of no known kind.
        const QString binary = madeDir.filePath(QStringLiteral("datos.bin"));
        QFile out(binary);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray("\x01\x02\x00\x03"
                             "datos\x00\x00",
                             11));
        out.close();
        QCOMPARE(openError(binary).description(),
                 QStringLiteral("El archivo %1 no es un libro de Excel").arg(binary));
        // A package that is no workbook keeps the package's own refusal.
        QCOMPARE(openError(fixture(QStringLiteral("no_workbook.xlsx"))).description(),
                 QStringLiteral("El archivo no es un libro de Excel: el paquete no contiene un libro"));
        QVERIFY(!ods::isSpreadsheet(fixture(QStringLiteral("invoice_libreoffice.xlsx"))));
        QVERIFY(ods::isSpreadsheet(fixture(QStringLiteral("invoice_gnumeric.ods"))));
    }

    // Examinar offers Excel's filter first and every workbook the reader takes after it; an .ods
    // chosen there loads into the grid.
    void fileDialogOffersEveryWorkbook()
    {
        TestEnv env;
        shared().entorno = std::make_unique<oENTX::clEntorno>();
        SheetPanel panel;
        panel.show();
        auto *examinar = panel.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar"));
        auto *path = panel.findChild<QLineEdit *>(QStringLiteral("FRAM2_TxtArchivo"));
        QVERIFY(examinar && path);
        ScriptedInteraction script;
        script.expectOpenFile(TestEnv::workbookFilter(), fixture(QStringLiteral("invoice_gnumeric.ods")));
        QTest::mouseClick(examinar, Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(path->text(), QDir::toNativeSeparators(fixture(QStringLiteral("invoice_gnumeric.ods"))));
        QCOMPARE(panel.model().rows(), 10);
        QCOMPARE(panel.model().text(2, 1), QStringLiteral("Tornillo de acero inoxidable"));
        QCOMPARE(panel.model().text(9, 1), QStringLiteral("  Resistencia con blancos  "));
        QCOMPARE(panel.model().text(9, 3), QStringLiteral("0,001"));
    }
};

QTEST_MAIN(TestFormats)
#include "test_formats.moc"
