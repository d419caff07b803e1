// Sheet loading, the preview grid, the column mapping (F1, frmCampos) and the mapping verification.
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "import/FieldLabels.h"
#include "import/MappingCheck.h"
#include "import/SheetGridModel.h"
#include "import/SheetLoader.h"
#include "shared/SharedState.h"
#include "ui/app/frmMain.h"
#include "ui/import/SheetGridView.h"
#include "ui/import/SheetPanel.h"
#include "ui/import/frmCampos.h"
#include "workbook/clEcxel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <memory>
#include <zip.h>

using Icon = Interaction::Icon;
namespace fl = fieldlabels;

static QString fixture(const QString &name)
{
    return QDir(QStringLiteral(PLANEXO_TEST_DATA_DIR)).filePath(name);
}

static const QString kFilter = TestEnv::workbookFilter();

static QString loadFailure(long number, const QString &description, int step)
{
    return QString::number(number) + QStringLiteral(" - ") + description +
           QStringLiteral("\r\n\r\nSeccion [Quintora.frmCFGExcel.lf_LevantarExcel] linea ") +
           QString::number(step);
}

// The error the reader raises for a file, as the loader's message must carry it.
static PlanexoError readerError(const QString &path, bool readAllCells = false)
{
    try {
        clEcxel excel;
        excel.setArchivo(path);
        excel.Abrir();
        if (readAllCells) {
            for (long r = 1; r <= 10; ++r)
                for (long c = 1; c <= 5; ++c)
                    excel.LeerCelda(r, c);
        }
    } catch (const PlanexoError &e) {
        return e;
    }
    return PlanexoError(0, QStringLiteral("the reader did not fail"));
}

// A sheet held in memory that logs every cell read and can fail at one cell.
struct FakeSheet {
    std::map<std::pair<long, long>, QString> cells;
    QVector<QPair<long, long>> reads;
    std::pair<long, long> failAt{0, 0};

    void row(long r, const QStringList &texts)
    {
        for (int c = 0; c < texts.size(); ++c)
            if (!texts[c].isNull()) cells[{r, c + 1}] = texts[c];
    }
    sheetloader::CellReader reader()
    {
        return [this](long r, long c) {
            reads.append({r, c});
            if (std::make_pair(r, c) == failAt)
                throw PlanexoError(2042, QStringLiteral("Error en la celda"),
                                   QStringLiteral("[clExcel.LeerCelda]"));
            auto it = cells.find({r, c});
            return it == cells.end() ? QString() : it->second;
        };
    }
};

static QStringList rowTexts(const SheetGridModel &grid, int row)
{
    QStringList texts;
    for (int c = 0; c < grid.cols(); ++c)
        texts << grid.text(row, c);
    return texts;
}

static QStringList mappingRow(const SheetGridModel &grid)
{
    return rowTexts(grid, mapping::MappingRow);
}

// A workbook of one sheet whose rows are given as sheetData XML (texts inline).
// A workbook of one sheet with these rows; with shared strings (<si> elements) and cell formats
// (<xf> elements of cellXfs) when given.
static bool writeSheet(const QString &path, const QByteArray &rows, const QByteArray &strings = {},
                       const QByteArray &formats = {})
{
    const QByteArray ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const QByteArray relationship = "<Relationship Id=\"rId%1\" Type=\"" + rel + "/%2\" Target=\"%3\"/>";
    const auto relation = [&](int id, const char *type, const char *target) {
        return QString::fromLatin1(relationship)
            .arg(id)
            .arg(QLatin1String(type), QLatin1String(target))
            .toLatin1();
    };
    std::vector<std::pair<QByteArray, QByteArray>> parts = {
        {"xl/workbook.xml",
         "<workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rel +
             "\"><sheets><sheet name=\"a\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
             relation(1, "worksheet", "worksheets/sheet1.xml") +
             (strings.isEmpty() ? QByteArray() : relation(2, "sharedStrings", "sharedStrings.xml")) +
             (formats.isEmpty() ? QByteArray() : relation(3, "styles", "styles.xml")) + "</Relationships>"},
        {"xl/worksheets/sheet1.xml",
         "<worksheet xmlns=\"" + ns + "\"><sheetData>" + rows + "</sheetData></worksheet>"},
    };
    if (!strings.isEmpty())
        parts.push_back({"xl/sharedStrings.xml", "<sst xmlns=\"" + ns + "\">" + strings + "</sst>"});
    if (!formats.isEmpty())
        parts.push_back({"xl/styles.xml", "<styleSheet xmlns=\"" + ns +
                                              "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" "
                                              "formatCode=\"dd/mm/yyyy\"/></numFmts><cellXfs>" +
                                              formats + "</cellXfs></styleSheet>"});
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    for (const auto &[name, text] : parts) {
        void *copy = malloc(size_t(text.size()));
        memcpy(copy, text.constData(), size_t(text.size()));
        zip_source_t *source = zip_source_buffer(zip, copy, zip_uint64_t(text.size()), 1);
        if (!source || zip_file_add(zip, name.constData(), source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return false;
        }
    }
    return zip_close(zip) == 0;
}

// What a load leaves: the grid's cells, fixed rows and colours, and the failure with its step.
static QStringList loadOutcome(const std::function<void(SheetGridModel &, int &)> &load)
{
    // An earlier load's grid, which a failure before the reset must leave as it is.
    SheetGridModel grid;
    grid.resize(4, 3);
    grid.setText(0, 0, QStringLiteral("antes"));
    grid.setText(3, 2, QStringLiteral("ñandú"));
    grid.setRowForeground(1, 0x0000FF);
    grid.setFixedRows(2);
    QStringList out;
    int step = 0;
    try {
        load(grid, step);
    } catch (const PlanexoError &e) {
        out << QStringLiteral("failure %1 at %2: %3 %4")
                   .arg(e.number())
                   .arg(step)
                   .arg(e.description(), e.source());
    }
    out << QStringLiteral("%1 x %2, fixed %3").arg(grid.rows()).arg(grid.cols()).arg(grid.fixedRows());
    for (int r = 0; r < grid.rows(); ++r) {
        const auto colour = grid.rowForeground(r);
        out << (colour ? QString::number(*colour, 16) : QString()) + QLatin1Char('|') +
                   rowTexts(grid, r).join(QLatin1Char('|'));
    }
    return out;
}

// The load read cell by cell through LeerCelda from the reader's cell table.
static void loadCellByCell(const QString &path, SheetGridModel &grid, int &step)
{
    step = 90;
    clEcxel excel;
    excel.setArchivo(path);
    step = 100;
    excel.Abrir();
    sheetloader::fillGrid([&excel](long r, long c) { return excel.LeerCelda(r, c); }, grid, step);
    step = 710;
    excel.CerrarArchivo();
}

// Drives frmCampos: picks `label` in the list and presses Enter in it.
static ScriptedInteraction::ModalDriver chooseField(const QString &label)
{
    return [label](QDialog &dialog) {
        auto *list = dialog.findChild<QComboBox *>(QStringLiteral("cboCampos"));
        if (!list) return -1;
        dialog.show();
        list->setCurrentIndex(list->findText(label));
        QTest::keyClick(list, Qt::Key_Return);
        return dialog.result();
    };
}

static ScriptedInteraction::ModalDriver pressEscape()
{
    return [](QDialog &dialog) {
        auto *list = dialog.findChild<QComboBox *>(QStringLiteral("cboCampos"));
        dialog.show();
        list->setCurrentIndex(3);
        QTest::keyClick(list, Qt::Key_Escape);
        return dialog.result();
    };
}

class TestImport : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TestEnv> env;
    QTemporaryDir madeDir; // workbooks made by the tests

    // A panel with the entorno component that the loader asks for the file.
    std::unique_ptr<SheetPanel> newPanel()
    {
        shared().entorno = std::make_unique<oENTX::clEntorno>();
        auto panel = std::make_unique<SheetPanel>();
        panel->resize(640, 320);
        panel->show();
        return panel;
    }

    // Loads a fixture, expecting no message.
    bool load(SheetPanel &panel, const QString &name)
    {
        ScriptedInteraction script;
        const bool ok = panel.lf_LevantarExcel(fixture(name));
        if (!script.ok()) qWarning("%s", qPrintable(script.report()));
        return ok && script.ok();
    }

    // Sets the mapping row directly: column c gets labels[c].
    static void setMapping(SheetGridModel &grid, const QStringList &labels)
    {
        grid.resize(3, int(labels.size()));
        for (int c = 0; c < labels.size(); ++c)
            grid.setText(1, c, labels[c]);
    }

  private slots:
    void initTestCase() { TestEnv::usePoint(); }
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    // ---- the loader's logic over a sheet in memory ----

    void readsCellsInOrderAndStopsAtFirstEmptyRow()
    {
        FakeSheet sheet;
        sheet.row(1, {"A", "B", "C"});
        sheet.row(2, {"a2", "", "c2"});
        sheet.row(3, {"", "", "c3"});
        sheet.cells[{3, 4}] = "right of the headings";
        sheet.cells[{5, 1}] = "below the empty row";
        SheetGridModel grid;
        int step = 0;
        sheetloader::fillGrid(sheet.reader(), grid, step);

        QCOMPARE(step, 700);
        // m + 1 heading cells, m per data row (no short cut) and m for the empty row.
        const QVector<QPair<long, long>> expected = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 2}, {2, 3},
                                                     {3, 1}, {3, 2}, {3, 3}, {4, 1}, {4, 2}, {4, 3}};
        QCOMPARE(sheet.reads, expected);
        QCOMPARE(grid.rows(), 4);
        QCOMPARE(grid.cols(), 3);
        QCOMPARE(rowTexts(grid, 0), QStringList({"A", "B", "C"}));
        QCOMPARE(mappingRow(grid), QStringList({"", "", ""}));
        QCOMPARE(rowTexts(grid, 2), QStringList({"a2", "", "c2"}));
        QCOMPARE(rowTexts(grid, 3), QStringList({"", "", "c3"}));
        QCOMPARE(grid.fixedRows(), 2);
        QCOMPARE(grid.rowForeground(1), std::optional<quint32>(0x0000FF));
        QVERIFY(!grid.rowForeground(0));
        QVERIFY(!grid.rowForeground(2));
    }

    void failingCellReadNamesItsStepAndKeepsEarlierSteps_data()
    {
        QTest::addColumn<long>("row");
        QTest::addColumn<long>("col");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("cols");
        QTest::newRow("second heading") << 1L << 2L << 150 << 1;
        QTest::newRow("data cell") << 3L << 2L << 300 << 2;
    }

    void failingCellReadNamesItsStepAndKeepsEarlierSteps()
    {
        QFETCH(long, row);
        QFETCH(long, col);
        QFETCH(int, step);
        QFETCH(int, cols);
        FakeSheet sheet;
        sheet.row(1, {"A", "B"});
        sheet.row(2, {"a2", "b2"});
        sheet.row(3, {"a3", "b3"});
        sheet.failAt = {row, col};
        SheetGridModel grid;
        int reached = 0;
        QCOMPARE(errorNumberOf([&] { sheetloader::fillGrid(sheet.reader(), grid, reached); }), 2042L);
        QCOMPARE(reached, step);
        QCOMPARE(grid.cols(), cols);
        QCOMPARE(grid.text(0, 0), QStringLiteral("A"));
        QCOMPARE(grid.rows(), 2); // data is put into the grid only after the whole sheet was read
    }

    // The grid keeps each cell's own text through a load with repeated, empty and non-ASCII texts
    // and through the edits that follow it (no cell shares another's change).
    void gridKeepsEveryTextThroughLoadAndEdits()
    {
        FakeSheet sheet;
        sheet.row(1, {"Codigo", "Origen", "Descripción"});
        const QString odd = QStringLiteral("a\tb\r\nc ") + QChar(0x20AC) + QString::fromUcs4(U"\U0001F600");
        QVector<QStringList> expected;
        for (int r = 0; r < 500; ++r) {
            const QStringList row = {QStringLiteral("ART-%1").arg(r),
                                     r % 3 ? QStringLiteral("China") : QString(),
                                     r == 7  ? odd
                                     : r % 2 ? QStringLiteral("Ñandú")
                                             : QStringLiteral("x")};
            sheet.row(r + 2, row);
            expected << QStringList{row[0], row[1].isNull() ? QString("") : row[1], row[2]};
        }
        SheetGridModel grid;
        int step = 0;
        sheetloader::fillGrid(sheet.reader(), grid, step);
        QCOMPARE(grid.rows(), 502);
        QCOMPARE(grid.cols(), 3);
        QCOMPARE(rowTexts(grid, 0), QStringList({"Codigo", "Origen", "Descripción"}));
        QCOMPARE(rowTexts(grid, 1), QStringList({"", "", ""}));
        for (int r = 0; r < 500; ++r)
            QCOMPARE(rowTexts(grid, r + 2), expected[r]);
        QCOMPARE(grid.data(grid.index(9, 2)).toString(), odd);

        // Repeated texts down a column are independent cells.
        grid.setText(3, 1, QStringLiteral("Brasil"));
        QCOMPARE(grid.text(3, 1), QStringLiteral("Brasil"));
        QCOMPARE(grid.text(6, 1), QStringLiteral("China"));
        grid.setText(5, 2, QString());
        QCOMPARE(grid.text(5, 2), QString());
        QCOMPARE(grid.text(7, 2), QStringLiteral("Ñandú"));
        grid.insertEmptyRow(2);
        QCOMPARE(rowTexts(grid, 2), QStringList({"", "", ""}));
        QCOMPARE(rowTexts(grid, 3), expected[0]);
        QCOMPARE(grid.text(4, 1), QStringLiteral("Brasil"));
        // Narrower, then wider: the kept cells stay, the new ones are empty.
        grid.resize(503, 2);
        QCOMPARE(rowTexts(grid, 10), QStringList({expected[7][0], expected[7][1]}));
        grid.resize(504, 4);
        QCOMPARE(rowTexts(grid, 10), QStringList({expected[7][0], expected[7][1], "", ""}));
        QCOMPARE(rowTexts(grid, 503), QStringList({"", "", "", ""}));
        // A second paste over loaded rows replaces only what it covers.
        grid.paste(502, QVector<QStringList>{{"p", QString::fromUcs4(U"\U0001F600")}, {"q"}});
        QCOMPARE(rowTexts(grid, 502), QStringList({"p", QString::fromUcs4(U"\U0001F600"), "", ""}));
        QCOMPARE(rowTexts(grid, 503), QStringList({"q", "", "", ""}));
        QCOMPARE(rowTexts(grid, 501), QStringList({expected[498][0], expected[498][1], "", ""}));
        // Shrunk and grown again: the rows that come back are empty, not what they held.
        grid.resize(10, 4);
        grid.resize(20, 4);
        QCOMPARE(rowTexts(grid, 9), QStringList({expected[6][0], expected[6][1], "", ""}));
        for (int r = 10; r < 20; ++r)
            QCOMPARE(rowTexts(grid, r), QStringList({"", "", "", ""}));
    }

    void headingsWithoutDataFailAtStep590()
    {
        FakeSheet sheet;
        sheet.row(1, {"A", "B"});
        sheet.cells[{3, 1}] = "after the empty row 2";
        SheetGridModel grid;
        int step = 0;
        try {
            sheetloader::fillGrid(sheet.reader(), grid, step);
            QFAIL("no failure");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.number(), sheetloader::NoDataRowsError);
            QCOMPARE(e.description(), QStringLiteral("No hay filas de datos bajo los encabezados"));
        }
        QCOMPARE(step, 590);
        QCOMPARE(grid.rows(), 1);
        QCOMPARE(rowTexts(grid, 0), QStringList({"A", "B"}));
        QCOMPARE(grid.fixedRows(), 0);
    }

    void reloadStartsFromAnEmptyGrid()
    {
        SheetGridModel grid;
        FakeSheet wide;
        wide.row(1, {"A", "B", "C", "D"});
        wide.row(2, {"1", "2", "3", "4"});
        wide.row(3, {"5", "6", "7", "8"});
        int step = 0;
        sheetloader::fillGrid(wide.reader(), grid, step);
        grid.setText(1, 3, fl::CodArticulo);

        FakeSheet narrow;
        narrow.row(1, {"X"});
        narrow.row(2, {"x2"});
        sheetloader::fillGrid(narrow.reader(), grid, step);
        QCOMPARE(grid.rows(), 3);
        QCOMPARE(grid.cols(), 1);
        QCOMPARE(rowTexts(grid, 0), QStringList({"X"}));
        QCOMPARE(mappingRow(grid), QStringList({""}));
        QCOMPARE(rowTexts(grid, 2), QStringList({"x2"}));

        // A failed reload leaves no fixed rows and no mapping of the earlier load.
        FakeSheet empty;
        empty.row(1, {"H"});
        QVERIFY_THROWS_EXCEPTION(PlanexoError, sheetloader::fillGrid(empty.reader(), grid, step));
        QCOMPARE(grid.fixedRows(), 0);
        QVERIFY(!grid.rowForeground(0));
    }

    // ---- the load of a workbook, taken as it is read, is the load cell by cell ----

    void loadIsTheCellByCellLoad_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("comma");
        // Every fixture, and sheets that end their data in the ways a streamed read must see.
        QVERIFY(madeDir.isValid());
        const QString dir = madeDir.path();
        const std::pair<const char *, QByteArray> made[] = {
            // A row with cells only beyond the headings is an empty row; a row missing ends the
            // data as an empty one does.
            {"beyond_headings", "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>A</t></is></c><c r=\"B1\" "
                                "t=\"inlineStr\"><is><t>B</t></is></c><c r=\"D1\"><v>4</v></c></row>"
                                "<row r=\"2\"><c r=\"B2\"><v>2.5</v></c><c r=\"C2\"><v>9</v></c></row>"
                                "<row r=\"3\"><c r=\"C3\" t=\"inlineStr\"><is><t>fuera</t></is></c></row>"
                                "<row r=\"4\"><c r=\"A4\"><v>4</v></c></row>"},
            {"missing_row",
             "<row r=\"1\"><c r=\"A1\" t=\"b\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\" "
             "t=\"inlineStr\"><is><t>x</t></is></c></row><row r=\"4\"><c r=\"A4\"><v>4</v></c></row>"},
            // An error value past the data does not fail; one in a heading fails where it is read.
            {"error_past_data",
             "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c></row>"
             "<row r=\"4\"><c r=\"A4\" t=\"e\"><v>#N/A</v></c></row>"},
            {"error_heading",
             "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" t=\"e\"><v>#REF!</v></c></row>"
             "<row r=\"2\"><c r=\"A2\"><v>2</v></c></row>"},
            // Cells out of order after the data, a cell given twice in it.
            {"late_cell",
             "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c></row>"
             "<row r=\"5\"><c r=\"A5\"><v>5</v></c></row><row r=\"3\"><c r=\"A3\"><v>3</v></c></row>"},
            {"twice", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c>"
                      "<c r=\"A2\"><v>3</v></c></row>"},
            // No row 1 at all; headings only.
            {"no_headings", "<row r=\"2\"><c r=\"A2\"><v>2</v></c></row>"},
            {"headings_only", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
        };
        QStringList paths;
        for (const auto &[name, rows] : made) {
            const QString path = dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".xlsx");
            QVERIFY(writeSheet(path, rows));
            paths << path;
        }
        // The usual cells are read straight from the bytes; every other form of a cell is read token
        // by token, also in the middle of a row of usual ones. Shared strings, a date format (1) and
        // a plain one (2).
        const QByteArray strings = "<si><t>Código</t></si><si><t>Peso</t></si><si><t>x_x0041_</t></si>"
                                   "<si><t>a &amp; b</t></si>";
        const QByteArray formats = "<xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"2\"/>";
        const QByteArray forms =
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" "
            "t=\"inlineStr\"><is><t>C</t></is></c><c r=\"D1\" t=\"s\"><v>2</v></c><c r=\"E1\" "
            "t=\"s\"><v>3</v></c><c r=\"F1\" t=\"inlineStr\"><is><t>F &amp; &#237;</t></is></c></row>"
            // numbers in the sheet's own form and others, a date, a typed number, a blank type, in a
            // row with other attributes
            "<row r=\"2\" spans=\"1:6\" x14ac:dyDescent=\"0.25\"><c r=\"A2\"><v>12.5</v></c><c r=\"B2\" "
            "s=\"1\"><v>45306</v></c><c r=\"C2\" "
            "t=\"n\" s=\"2\"><v>0.1000000000000000055</v></c><c r=\"D2\" t=\"\"><v>1E-7</v></c><c r=\"E2\" "
            "s=\"1\"><v>45306.75</v></c><c r=\"F2\"><v>-0</v></c></row>"
            // cells without reference, which take the row's number: a repeated r, a missing one
            "<row spans=\"1:6\" r=\"3\" r=\"9\"><c s=\"2\" t=\"s\"><v>1</v></c><c t=\"inlineStr\" "
            "t=\"n\"><v>7</v></c><c t='s'><v>0</v></c><c><v>4</v></c><c t=\"s\"><v> 1 </v></c><c><v> 6 "
            "</v></c></row>"
            // texts to decode, a value with a reference, a cell without value, a boolean, a text in <v>
            "<row><c t=\"inlineStr\"><is><t>_x0042_b</t></is></c><c><v>&#50;</v></c><c t=\"s\"/><c "
            "t=\"b\"><v>1</v></c><c t=\"str\"><v>tx</v></c><c t=\"inlineStr\"><is><t xml:space=\"preserve\"> "
            "e </t></is></c></row>"
            // attributes in another order, repeated, single quotes; a lower-case reference, a leading
            // zero, a line break
            "<row r=\"5\" ht=\"20\"\ncustomHeight=\"1\"><c s=\"2\" t=\"s\" r=\"A5\"><v>1</v></c><c "
            "r=\"A5\" r=\"B5\" t=\"inlineStr\" t=\"n\"><v>7</v></c><c r='C5' t='s'><v>0</v></c><c "
            "r=\"d5\"><v>4</v></c><c r=\"E05\" t=\"s\"><v>3</v></c><c r=\"F5\"\n><v>8</v></c></row>"
            // the row's number with a prefix, with a leading zero
            "<row x:r=\"6\"><c r=\"A6\" t=\"s\"><v>2</v></c></row><row r=\"07\"><c "
            "r=\"A7\"><v>7</v></c></row>"
            // an empty row ends the data
            "<row r=\"8\"></row><row r=\"9\"><c r=\"A9\"><v>9</v></c></row>";
        const std::pair<const char *, QByteArray> formed[] = {
            {"cell_forms", forms},
            // Cells without reference in rows numbered by a repeated r, by none (cells out of order
            // would make the load start over and hide a wrong number).
            {"row_numbers", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\" spans=\"1:1\" "
                            "r=\"9\"><c><v>2</v></c></row><row><c><v>3</v></c></row>"},
            // Cells that fail the part, each where it stands.
            {"shared_missing", "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row><row r=\"2\"><c r=\"A2\" "
                               "t=\"s\"><v>4</v></c></row>"},
            {"past_last_column", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"XFE2\">"
                                 "<v>1</v></c></row>"},
            {"bad_number", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>1x</v>"
                           "</c></row>"},
            {"bad_inline", "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&#0;</t></is></c></row>"},
        };
        for (const auto &[name, rows] : formed) {
            const QString path = dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".xlsx");
            QVERIFY(writeSheet(path, rows, strings, formats));
            paths << path;
        }
        // Many rows of inline texts, numbers and repeated values, more than one piece of the part:
        // every third row without references.
        QByteArray rows = "<row r=\"1\"><c t=\"inlineStr\"><is><t>Texto</t></is></c><c><v>1.5</v></c>"
                          "<c t=\"inlineStr\"><is><t>Otro</t></is></c></row>";
        for (int r = 2; r <= 6000; ++r) {
            const QByteArray n = QByteArray::number(r);
            const bool refs = r % 3 != 0;
            rows += (refs ? "<row r=\"" + n + "\"><c r=\"A" + n + "\" " : QByteArray("<row><c ")) +
                    "t=\"inlineStr\"><is><t>fila " + n + " &amp; ñ</t></is></c><c" +
                    (refs ? " r=\"B" + n + "\"" : QByteArray()) + "><v>" + QByteArray::number(r * 0.25) +
                    "</v></c><c t=\"inlineStr\"><is><t>" + QByteArray::number(r % 3) + "</t></is></c></row>";
        }
        paths << dir + QStringLiteral("/many_inline.xlsx");
        QVERIFY(writeSheet(paths.back(), rows));
        const QDir data(QStringLiteral(PLANEXO_TEST_DATA_DIR));
        for (const QString &name :
             data.entryList({QStringLiteral("*.xlsx"), QStringLiteral("*.xls"), QStringLiteral("*.xlsm"),
                             QStringLiteral("*.xlsb"), QStringLiteral("*.ods"), QStringLiteral("*.csv"),
                             QStringLiteral("*.txt")},
                            QDir::Files))
            paths << data.filePath(name);
        paths << dir + QStringLiteral("/no existe.xlsx");
        for (const QString &path : paths)
            for (const bool comma : {false, true})
                QTest::addRow("%s %s", qPrintable(QFileInfo(path).fileName()), comma ? "comma" : "point")
                    << path << comma;
    }

    void loadIsTheCellByCellLoad()
    {
        QFETCH(QString, path);
        QFETCH(bool, comma);
        if (comma) TestEnv::useComma();
        const QStringList expected =
            loadOutcome([&](SheetGridModel &grid, int &step) { loadCellByCell(path, grid, step); });
        const QStringList loaded =
            loadOutcome([&](SheetGridModel &grid, int &step) { sheetloader::loadFile(path, grid, step); });
        TestEnv::usePoint();
        QCOMPARE(loaded, expected);
    }

    // ---- the loader through the panel, real workbooks ----

    void loadsHeadingsMappingRowAndData()
    {
        auto panel = newPanel();
        QSignalSpy loaded(panel.get(), &SheetPanel::workbookLoaded);
        ScriptedInteraction script;
        QVERIFY(panel->lf_LevantarExcel(fixture(QStringLiteral("import_basic.xlsx"))));
        VERIFY_SCRIPT(script);
        QCOMPARE(loaded.count(), 1);
        QVERIFY(script.busyCalls() > 0);
        QCOMPARE(script.busyDepth(), 0);

        const SheetGridModel &grid = panel->model();
        QCOMPARE(grid.cols(), 5);
        QCOMPARE(grid.rows(), 12);
        QCOMPARE(rowTexts(grid, 0), QStringList({"Codigo", "Descripcion", "Cantidad", "Total", "Origen"}));
        QCOMPARE(mappingRow(grid), QStringList({"", "", "", "", ""}));
        QCOMPARE(rowTexts(grid, 2), QStringList({"ART-001", "Articulo 1", "2", "10", "PRC"}));
        QCOMPARE(rowTexts(grid, 11), QStringList({"ART-010", "Articulo 10", "20", "100", "PRC"}));
        // Cells keep their text exactly, line breaks, tabs and blanks included.
        QCOMPARE(grid.text(3, 1), QStringLiteral("Llave de tubo\n12 pulgadas\tacero"));
        QCOMPARE(grid.text(3, 2), QStringLiteral("4"));
        QCOMPARE(grid.text(4, 1), QStringLiteral("  Martillo  "));
        QCOMPARE(grid.text(6, 3), QStringLiteral("1234.5"));
        // F5 lies right of the headings and A14 below the empty row 12.
        for (int r = 0; r < grid.rows(); ++r)
            for (int c = 0; c < grid.cols(); ++c) {
                QVERIFY(!grid.text(r, c).contains(QStringLiteral("fuera")));
                QVERIFY(!grid.text(r, c).contains(QStringLiteral("debajo")));
                QVERIFY(!grid.text(r, c).contains(QStringLiteral("otra hoja")));
            }

        // Rows 0 and 1 are fixed: drawn as headers and not selectable; the mapping row is blue.
        QCOMPARE(grid.fixedRows(), 2);
        for (int c = 0; c < grid.cols(); ++c) {
            QVERIFY(!(grid.flags(grid.index(0, c)) & Qt::ItemIsSelectable));
            QVERIFY(!(grid.flags(grid.index(1, c)) & Qt::ItemIsSelectable));
            QVERIFY(grid.flags(grid.index(2, c)) & Qt::ItemIsSelectable);
            QCOMPARE(grid.data(grid.index(1, c), Qt::ForegroundRole).value<QBrush>().color(),
                     QColor(0, 0, 255));
            QVERIFY(!grid.data(grid.index(2, c), Qt::ForegroundRole).isValid());
            QVERIFY(grid.data(grid.index(0, c), Qt::BackgroundRole).isValid());
            QVERIFY(!grid.data(grid.index(2, c), Qt::BackgroundRole).isValid());
        }
        QCOMPARE(panel->grid()->currentIndex(), grid.index(2, 0));

        // Moving up from the first data row does not land on the fixed rows.
        QTest::keyClick(panel->grid(), Qt::Key_Right);
        QTest::keyClick(panel->grid(), Qt::Key_Up);
        QCOMPARE(panel->grid()->currentIndex(), grid.index(2, 1));
        QTest::keyClick(panel->grid(), Qt::Key_Down);
        QCOMPARE(panel->grid()->currentIndex(), grid.index(3, 1));
    }

    void numbersFollowTheLocale()
    {
        TestEnv::useComma();
        auto panel = newPanel();
        const bool ok = load(*panel, QStringLiteral("import_basic.xlsx"));
        TestEnv::usePoint();
        QVERIFY(ok);
        QCOMPARE(panel->model().text(6, 3), QStringLiteral("1234,5"));
    }

    // The binary and macro-enabled workbooks, and packages that bend the format as Excel allows,
    // load into the grid as the invoice they hold, in both locales; a damaged binary workbook
    // shows the reader's failure at the step that opens it.
    void loadsEveryOfficeOpenXmlKind_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("firstDate");
        for (const bool comma : {true, false})
            for (const char *file : {"invoice.xlsb", "invoice_inline.xlsb", "formulas.xlsb",
                                     "invoice_libreoffice.xlsm", "backslash_names.xlsx"}) {
                // formulas.xlsb is in the 1904 date system.
                const bool shifted = QByteArray(file) == "formulas.xlsb";
                QTest::addRow("%s %s", file, comma ? "comma" : "point")
                    << QString::fromLatin1(file) << comma
                    << QString::fromLatin1(shifted ? (comma ? "16/1/2028" : "1/16/2028")
                                                   : (comma ? "15/1/2024" : "1/15/2024"));
            }
    }

    void loadsEveryOfficeOpenXmlKind()
    {
        QFETCH(QString, file);
        QFETCH(bool, comma);
        QFETCH(QString, firstDate);
        if (comma) TestEnv::useComma();
        auto panel = newPanel();
        const bool ok = load(*panel, file);
        TestEnv::usePoint();
        QVERIFY(ok);
        const SheetGridModel &grid = panel->model();
        QCOMPARE(grid.cols(), 7);
        QCOMPARE(grid.rows(), 10);
        QCOMPARE(rowTexts(grid, 0),
                 QStringList({"Codigo", "Descripcion", "Cantidad", "Total", "NCM", "Origen", "Fecha"}));
        QCOMPARE(mappingRow(grid), QStringList({"", "", "", "", "", "", ""}));
        QCOMPARE(rowTexts(grid, 2),
                 QStringList({"A-100", "Tornillo de acero inoxidable", "100", comma ? "1234,5" : "1234.5",
                              "7318.15.00", "China", firstDate}));
        QCOMPARE(rowTexts(grid, 5).mid(0, 4),
                 QStringList({"4711", "Bomba centrífuga", "1", comma ? "99999,99" : "99999.99"}));
        QCOMPARE(rowTexts(grid, 6).mid(3, 1), QStringList({comma ? "1234567,891" : "1234567.891"}));
        QCOMPARE(rowTexts(grid, 9).mid(0, 4),
                 QStringList({"G-800", "  Resistencia con blancos  ", "2", comma ? "0,001" : "0.001"}));
    }

    void damagedBinaryWorkbookShowsTheReadersError()
    {
        QFile source(fixture(QStringLiteral("invoice.xlsb")));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString cut = env->programFolder() + QStringLiteral("/factura.xlsb");
        QFile file(cut);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(source.readAll().left(9000));
        file.close();
        const PlanexoError expected = readerError(cut);
        QCOMPARE(expected.number(), 1004L);
        QVERIFY(!expected.description().isEmpty());

        auto panel = newPanel();
        ScriptedInteraction script;
        script.expectMessage(loadFailure(expected.number(), expected.description(), 100), Icon::Critical);
        QVERIFY(!panel->lf_LevantarExcel(cut));
        VERIFY_SCRIPT(script);
        QCOMPARE(script.busyDepth(), 0);
    }

    void columnWidthsInTwips()
    {
        auto panel = newPanel();
        const int defaultWidth = panel->grid()->horizontalHeader()->defaultSectionSize();
        QVERIFY(load(*panel, QStringLiteral("import_wide.xlsx")));
        QCOMPARE(panel->model().cols(), 12);
        // The layout's twips at the font's scale: the grid's 9300 twips give it. Short texts leave
        // every column at its layout width.
        const double perTwip = panel->grid()->width() / 9300.0;
        const QList<int> twips = {1500, 2000, 1000, 1100, 1300, 1300, 1500, 1000, 1200, 1200};
        for (int c = 0; c < twips.size(); ++c)
            QVERIFY2(
                qAbs(panel->grid()->columnWidth(c) - twips[c] * perTwip) <= 1.0,
                qPrintable(QStringLiteral("column %1: %2 px").arg(c).arg(panel->grid()->columnWidth(c))));
        QCOMPARE(panel->grid()->columnWidth(10), defaultWidth);
        QCOMPARE(panel->grid()->columnWidth(11), defaultWidth);

        // A narrower sheet simply has fewer columns.
        QVERIFY(load(*panel, QStringLiteral("import_basic.xlsx")));
        QVERIFY(qAbs(panel->grid()->columnWidth(0) - 1500 * perTwip) <= 1.0);
        QVERIFY(qAbs(panel->grid()->columnWidth(4) - 1300 * perTwip) <= 1.0);
    }

    void headingGapBlankRowsAndSingleCells()
    {
        auto panel = newPanel();
        QVERIFY(load(*panel, QStringLiteral("import_edges.xlsx")));
        const SheetGridModel &grid = panel->model();
        QCOMPARE(grid.cols(), 2);
        QCOMPARE(grid.rows(), 6);
        QCOMPARE(rowTexts(grid, 0), QStringList({"Cod", "Desc"}));
        QCOMPARE(rowTexts(grid, 2), QStringList({"X1", "uno"}));
        QCOMPARE(rowTexts(grid, 3), QStringList({"   ", ""})); // blanks are not empty
        QCOMPARE(rowTexts(grid, 4), QStringList({"", "solo B"}));
        QCOMPARE(rowTexts(grid, 5), QStringList({"X5", "cinco"}));
    }

    void emptyFirstHeadingGivesOneColumnWithoutHeading()
    {
        auto panel = newPanel();
        QVERIFY(load(*panel, QStringLiteral("import_a1_empty.xlsx")));
        const SheetGridModel &grid = panel->model();
        QCOMPARE(grid.cols(), 1);
        QCOMPARE(grid.rows(), 4);
        QCOMPARE(grid.text(0, 0), QString());
        QCOMPARE(grid.text(2, 0), QStringLiteral("dato"));
        QCOMPARE(grid.text(3, 0), QStringLiteral("otro"));
    }

    void headingsWithoutDataShowStep590()
    {
        auto panel = newPanel();
        QSignalSpy loaded(panel.get(), &SheetPanel::workbookLoaded);
        ScriptedInteraction script;
        script.expectMessage(
            loadFailure(30009, QStringLiteral("No hay filas de datos bajo los encabezados"), 590),
            Icon::Critical);
        QVERIFY(!panel->lf_LevantarExcel(fixture(QStringLiteral("import_headings_only.xlsx"))));
        VERIFY_SCRIPT(script);
        QCOMPARE(script.busyDepth(), 0);
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(panel->model().rows(), 1);
        QCOMPARE(rowTexts(panel->model(), 0), QStringList({"Codigo", "Cantidad", "Total"}));
    }

    void missingFileLeavesTheGrid()
    {
        auto panel = newPanel();
        QVERIFY(load(*panel, QStringLiteral("import_edges.xlsx")));
        const QString missing = env->programFolder() + QStringLiteral("/no existe.xlsx");
        QSignalSpy loaded(panel.get(), &SheetPanel::workbookLoaded);
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("No se encuentra el archivo seleccionado \r\n") + missing,
                             Icon::Exclamation);
        QVERIFY(!panel->lf_LevantarExcel(missing));
        // A blank path does nothing at all.
        QVERIFY(!panel->lf_LevantarExcel(QStringLiteral("   ")));
        VERIFY_SCRIPT(script);
        QCOMPARE(script.busyDepth(), 0);
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(panel->model().rows(), 6);
        QCOMPARE(panel->model().text(2, 0), QStringLiteral("X1"));
    }

    void badWorkbookShowsTheReadersError()
    {
        const QString bad = env->programFolder() + QStringLiteral("/factura.xlsx");
        // (text would read as a delimited table)
        QVERIFY(QFile::copy(fixture(QStringLiteral("not_a_workbook.png")), bad));
        const PlanexoError expected = readerError(bad);
        QVERIFY(expected.number() != 0);

        auto panel = newPanel();
        QVERIFY(load(*panel, QStringLiteral("import_edges.xlsx")));
        QSignalSpy loaded(panel.get(), &SheetPanel::workbookLoaded);
        ScriptedInteraction script;
        script.expectMessage(loadFailure(expected.number(), expected.description(), 100), Icon::Critical);
        QVERIFY(!panel->lf_LevantarExcel(bad));
        VERIFY_SCRIPT(script);
        QCOMPARE(script.busyDepth(), 0);
        QCOMPARE(loaded.count(), 0);
        // The grid was not reset yet.
        QCOMPARE(panel->model().rows(), 6);
    }

    void errorCellShowsItsStep()
    {
        const QString path = fixture(QStringLiteral("import_error_cell.xlsx"));
        const PlanexoError expected = readerError(path, true);
        QVERIFY(expected.number() != 0);
        auto panel = newPanel();
        ScriptedInteraction script;
        script.expectMessage(loadFailure(expected.number(), expected.description(), 300), Icon::Critical);
        QVERIFY(!panel->lf_LevantarExcel(path));
        VERIFY_SCRIPT(script);
        QCOMPARE(script.busyDepth(), 0);
        QCOMPARE(rowTexts(panel->model(), 0), QStringList({"Codigo", "Total"}));
    }

    void examinarChoosesAndLoads()
    {
        auto panel = newPanel();
        auto *path = panel->findChild<QLineEdit *>(QStringLiteral("FRAM2_TxtArchivo"));
        auto *examinar = panel->findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar"));
        QVERIFY(path && examinar);
        QCOMPARE(examinar->text(), QStringLiteral("Examinar"));
        path->setText(QStringLiteral("anterior.xlsx"));
        QSignalSpy loaded(panel.get(), &SheetPanel::workbookLoaded);
        {
            // Cancelled: nothing changes.
            ScriptedInteraction script;
            script.expectOpenFile(kFilter, QString());
            QTest::mouseClick(examinar, Qt::LeftButton);
            VERIFY_SCRIPT(script);
            QCOMPARE(path->text(), QStringLiteral("anterior.xlsx"));
            QCOMPARE(panel->model().rows(), 2);
            QCOMPARE(panel->model().cols(), 1);
            QCOMPARE(loaded.count(), 0);
        }
        {
            QVERIFY(QTest::qWaitForWindowActive(panel.get()));
            examinar->setFocus();
            ScriptedInteraction script;
            script.expectOpenFile(kFilter, fixture(QStringLiteral("import_basic.xlsx")));
            QTest::mouseClick(examinar, Qt::LeftButton);
            QCOMPARE(path->text(), QDir::toNativeSeparators(fixture(QStringLiteral("import_basic.xlsx"))));
            QCOMPARE(panel->model().rows(), 12);
            QCOMPARE(loaded.count(), 1);
            // The grid has the keys at once: F1 maps the current column without tabbing into it.
            QCOMPARE(QApplication::focusWidget(), panel->grid());
            script.expectModal(QStringLiteral("frmCampos"), chooseField(fl::CodArticulo));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
            VERIFY_SCRIPT(script);
            QCOMPARE(mappingRow(panel->model()), QStringList({fl::CodArticulo, "", "", "", ""}));
        }
        {
            // Qt's dialog opens on the filter of every kind read, the Excel one still offered.
            QStringList filters;
            QString selected;
            QTimer poll;
            connect(&poll, &QTimer::timeout, [&] {
                if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                    poll.stop();
                    filters = dialog->nameFilters();
                    selected = dialog->selectedNameFilter();
                    dialog->reject();
                }
            });
            poll.start(20);
            QtInteraction::instance().openFile(kFilter, QDir::tempPath());
            QCOMPARE(filters.size(), 2);
            QCOMPARE(selected,
                     QStringLiteral("Todos los libros (*.xls *.xlsx *.xlsm *.xlsb *.ods *.csv *.txt *.pdf)"));
            QCOMPARE(filters.last(), QStringLiteral("Archivo Excel (*.xls *.xlsx)"));
        }
        {
            // Typing a path loads nothing.
            ScriptedInteraction script;
            QTest::keyClicks(path, QStringLiteral("x"));
            VERIFY_SCRIPT(script);
            QCOMPARE(loaded.count(), 1);
        }
    }

    // The headings and the mapping row stay in view over the data as the grid scrolls down, at the
    // grid's column widths and horizontal scroll; the keys and a click on a heading work on the data.
    void headingRowsStayInView()
    {
        auto panel = newPanel();
        QVERIFY(load(*panel, QStringLiteral("import_basic.xlsx")));
        SheetGridModel &m = panel->model();
        const int cols = m.cols();
        m.resize(80, cols);
        for (int r = 12; r < 80; ++r)
            for (int c = 0; c < cols; ++c)
                m.setText(r, c, QStringLiteral("R%1C%2").arg(r).arg(c));
        QVERIFY(QTest::qWaitForWindowActive(panel.get()));
        auto *grid = qobject_cast<SheetGridView *>(panel->grid());
        QVERIFY(grid);
        QTableView *frozen = grid->frozenRows();
        for (int c = 0; c < cols; ++c)
            grid->setColumnWidth(c, 300);
        QCOMPARE(frozen->columnWidth(cols - 1), 300);
        QVERIFY(!frozen->isVisible()); // at the top the grid shows its own first rows

        grid->setFocus();
        grid->setCurrentIndex(m.index(2, 1));
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(grid->currentIndex().row(), 79);
        QVERIFY(grid->verticalScrollBar()->value() > 0);
        QVERIFY(frozen->isVisible());
        QCOMPARE(frozen->geometry().topLeft(), grid->viewport()->geometry().topLeft());
        QCOMPARE(frozen->height(), grid->rowHeight(0) + grid->rowHeight(1));
        QCOMPARE(frozen->indexAt(QPoint(2, 2)).row(), 0);
        QCOMPARE(frozen->indexAt(QPoint(2, grid->rowHeight(0) + 2)).row(), 1);
        QCoreApplication::processEvents(); // the scroll ranges follow the widths
        grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
        QVERIFY(grid->horizontalScrollBar()->value() > 0);
        QCOMPARE(frozen->columnAt(2), grid->columnAt(2));
        QCOMPARE(frozen->columnViewportPosition(cols - 1), grid->columnViewportPosition(cols - 1));

        // Up from the first row shown below them: the grid scrolls so that the row shows below them.
        const int first = grid->rowAt(frozen->height() + 1);
        grid->setCurrentIndex(m.index(first, 0));
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(grid->currentIndex().row(), first - 1);
        QVERIFY(grid->visualRect(grid->currentIndex()).top() >= frozen->height());

        // A click on a heading picks its column where the data is.
        const int row = grid->currentIndex().row();
        const int column = frozen->columnAt(frozen->viewport()->width() - 5);
        QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {}, QPoint(frozen->viewport()->width() - 5, 2));
        QCOMPARE(grid->currentIndex(), m.index(row, column));
        QVERIFY(grid->hasFocus());
        ScriptedInteraction script;
        script.expectModal(QStringLiteral("frmCampos"), chooseField(fl::Origen));
        QTest::keyClick(grid, Qt::Key_F1);
        VERIFY_SCRIPT(script);
        QCOMPARE(m.text(1, column), fl::Origen);

        // Back at the top the grid's own rows show again.
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(grid->verticalScrollBar()->value(), 0);
        QVERIFY(!frozen->isVisible());
    }

    // ---- frmCampos ----

    void chooserOffersTheTenEntries()
    {
        frmCampos dialog;
        QCOMPARE(dialog.objectName(), QStringLiteral("frmCampos"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Establecer Campo"));
        QComboBox *list = dialog.findChild<QComboBox *>(QStringLiteral("cboCampos"));
        QVERIFY(list);
        QVERIFY(!list->isEditable());
        QVERIFY(!list->accessibleName().isEmpty());
        QCOMPARE(dialog.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
        QStringList entries;
        for (int i = 0; i < list->count(); ++i)
            entries << list->itemText(i);
        QCOMPARE(entries, QStringList({"< NINGUNO >", "[ COD. ARTICULO ]", "[ DESCR. MODELO ]",
                                       "[ DESCR. MARIA ]", "[ KG NETO ]", "[ CANTIDAD ]", "[ P. TOTAL ]",
                                       "[ P.A (NCM) ]", "[ UNIDAD ]", "[ ORIGEN ]"}));
        QCOMPARE(list->currentText(), QStringLiteral("< NINGUNO >"));
    }

    void chooserKeys()
    {
        {
            frmCampos dialog;
            dialog.show();
            shared().sRetorno.clear();
            auto *list = dialog.findChild<QComboBox *>(QStringLiteral("cboCampos"));
            QTest::keyClick(list, Qt::Key_Down); // the list's own keys still move the selection
            QTest::keyClick(list, Qt::Key_Down);
            QCOMPARE(list->currentText(), fl::DescrModelo);
            QTest::keyClick(list, Qt::Key_Return);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(shared().sRetorno, fl::DescrModelo);
        }
        {
            frmCampos dialog;
            dialog.show();
            shared().sRetorno = QStringLiteral("previo");
            QTest::keyClick(dialog.findChild<QComboBox *>(QStringLiteral("cboCampos")), Qt::Key_Escape);
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QVERIFY(!dialog.isVisible());
            QCOMPARE(shared().sRetorno, QString());
        }
        {
            // Escape on the dialog itself, and Enter outside the list, which does nothing.
            frmCampos dialog;
            dialog.show();
            shared().sRetorno = QStringLiteral("previo");
            QTest::keyClick(&dialog, Qt::Key_Return);
            QVERIFY(dialog.isVisible());
            QCOMPARE(shared().sRetorno, QStringLiteral("previo"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(shared().sRetorno, QString());
        }
        {
            // Escape in the dropped-down list leaves the dialog too.
            frmCampos dialog;
            dialog.show();
            shared().sRetorno = QStringLiteral("previo");
            auto *list = dialog.findChild<QComboBox *>(QStringLiteral("cboCampos"));
            list->showPopup();
            QTest::keyClick(list->view(), Qt::Key_Escape);
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QVERIFY(!dialog.isVisible());
            QCOMPARE(shared().sRetorno, QString());
        }
        {
            frmCampos dialog;
            dialog.show();
            shared().sRetorno.clear();
            dialog.close();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QCOMPARE(shared().sRetorno, QString());
        }
    }

    // ---- F1 on the grid ----

    void f1MapsTheCurrentColumn()
    {
        auto panel = newPanel();
        QVERIFY(load(*panel, QStringLiteral("import_basic.xlsx")));
        QTableView *grid = panel->grid();
        grid->setFocus();
        ScriptedInteraction script;

        // Right after a load the current column is 0.
        script.expectModal(QStringLiteral("frmCampos"), chooseField(fl::CodArticulo));
        QTest::keyClick(grid, Qt::Key_F1);
        QCOMPARE(mappingRow(panel->model()), QStringList({fl::CodArticulo, "", "", "", ""}));

        QTest::keyClick(grid, Qt::Key_Right);
        QTest::keyClick(grid, Qt::Key_Right);
        script.expectModal(QStringLiteral("frmCampos"), chooseField(fl::Cantidad));
        QTest::keyClick(grid, Qt::Key_F1);
        // Re-assigning replaces the label; other columns keep theirs.
        script.expectModal(QStringLiteral("frmCampos"), chooseField(fl::PTotal));
        QTest::keyClick(grid, Qt::Key_F1);
        QCOMPARE(mappingRow(panel->model()), QStringList({fl::CodArticulo, "", fl::PTotal, "", ""}));

        // Escape changes nothing.
        script.expectModal(QStringLiteral("frmCampos"), pressEscape());
        QTest::keyClick(grid, Qt::Key_F1);
        QCOMPARE(mappingRow(panel->model()), QStringList({fl::CodArticulo, "", fl::PTotal, "", ""}));

        // Enter with the none entry still selected clears the column.
        script.expectModal(QStringLiteral("frmCampos"), [](QDialog &dialog) {
            QTest::keyClick(dialog.findChild<QComboBox *>(QStringLiteral("cboCampos")), Qt::Key_Return);
            return dialog.result();
        });
        QTest::keyClick(grid, Qt::Key_F1);
        QCOMPARE(mappingRow(panel->model()), QStringList({fl::CodArticulo, "", "", "", ""}));

        // The none entry is recognised whatever its letter case.
        QTest::keyClick(grid, Qt::Key_Left);
        QTest::keyClick(grid, Qt::Key_Left);
        script.expectModal(QStringLiteral("frmCampos"), [](QDialog &dialog) {
            shared().sRetorno = QStringLiteral("< Ninguno >");
            dialog.reject();
            return dialog.result();
        });
        QTest::keyClick(grid, Qt::Key_F1);
        QCOMPARE(mappingRow(panel->model()), QStringList({"", "", "", "", ""}));

        // The window closed without a key: nothing changes, and sRetorno was emptied first.
        panel->model().setText(1, 0, fl::Origen);
        shared().sRetorno = QStringLiteral("[ UNIDAD ]");
        script.expectModal(QStringLiteral("frmCampos"), [](QDialog &dialog) {
            dialog.show();
            dialog.close();
            return dialog.result();
        });
        QTest::keyClick(grid, Qt::Key_F1);
        QCOMPARE(shared().sRetorno, QString());
        QCOMPARE(mappingRow(panel->model()), QStringList({fl::Origen, "", "", "", ""}));
        VERIFY_SCRIPT(script);
    }

    void sameLabelInTwoColumnsIsRefused()
    {
        auto panel = newPanel();
        QVERIFY(load(*panel, QStringLiteral("import_basic.xlsx")));
        QTableView *grid = panel->grid();
        ScriptedInteraction script;
        const QList<QPair<int, QString>> steps = {
            {0, fl::CodArticulo}, {1, fl::Cantidad}, {3, fl::Cantidad}, {4, fl::PTotal}};
        for (const auto &[column, label] : steps) {
            grid->setCurrentIndex(panel->model().index(5, column));
            script.expectModal(QStringLiteral("frmCampos"), chooseField(label));
            QTest::keyClick(grid, Qt::Key_F1);
        }
        QCOMPARE(mappingRow(panel->model()),
                 QStringList({fl::CodArticulo, fl::Cantidad, "", fl::Cantidad, fl::PTotal}));
        script.expectMessage(QStringLiteral("El campo CANTIDAD solo puede estar en una columna"),
                             Icon::Exclamation);
        QVERIFY(!panel->FRAM2_VerificarDatos());
        // The refused mapping stays for the operator to correct.
        QCOMPARE(mappingRow(panel->model()),
                 QStringList({fl::CodArticulo, fl::Cantidad, "", fl::Cantidad, fl::PTotal}));

        grid->setCurrentIndex(panel->model().index(2, 3));
        script.expectModal(QStringLiteral("frmCampos"), chooseField(fl::Ninguno));
        QTest::keyClick(grid, Qt::Key_F1);
        QVERIFY(panel->FRAM2_VerificarDatos());
        VERIFY_SCRIPT(script);
    }

    void f1WithoutMappingRowReportsTheFailure()
    {
        auto panel = newPanel();
        ScriptedInteraction script;
        script.expectMessage(
            loadFailure(30009, QStringLiteral("No hay filas de datos bajo los encabezados"), 590),
            Icon::Critical);
        QVERIFY(!panel->lf_LevantarExcel(fixture(QStringLiteral("import_headings_only.xlsx"))));
        script.expectModal(QStringLiteral("frmCampos"), chooseField(fl::CodArticulo));
        script.expectMessage(
            QStringLiteral("No hay filas de datos bajo los encabezados\r\n\r\n30009 - seccion "
                           "[Planexo.frmMain.FRAM2_EstablecerCampo]"),
            Icon::Critical);
        QTest::keyClick(panel->grid(), Qt::Key_F1);
        VERIFY_SCRIPT(script);
        QCOMPARE(panel->model().rows(), 1);

        // The verification has no handler: the failure reaches its caller.
        QVERIFY_THROWS_EXCEPTION(PlanexoError, panel->FRAM2_VerificarDatos());
    }

    // ---- verification ----

    void verification_data()
    {
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("message");
        const QString a = fl::CodArticulo, k = fl::KgNeto, q = fl::Cantidad, u = fl::PUnitario,
                      t = fl::PTotal, n = fl::PaNcm, d = fl::Unidad, o = fl::Origen;
        const auto twice = [](const QString &field) {
            return QStringLiteral("El campo ") + field + QStringLiteral(" solo puede estar en una columna");
        };
        QTest::newRow("nothing mapped") << QStringList({"", "", ""}) << "Falta establecer el campo ARTICULO";
        QTest::newRow("article twice, the rest missing") << QStringList({a, "", a}) << twice("ARTICULO");
        QTest::newRow("article twice, second in the last column")
            << QStringList({a, q, t, "", "", a}) << twice("ARTICULO");
        QTest::newRow("net weight twice before total missing")
            << QStringList({a, q, k, k}) << twice("KG NETO");
        QTest::newRow("quantity missing") << QStringList({t, a}) << "Falta establecer el campo CANTIDAD";
        QTest::newRow("quantity twice") << QStringList({q, a, q}) << twice("CANTIDAD");
        QTest::newRow("unit price twice before total missing")
            << QStringList({a, q, u, u}) << twice("UNITARIO");
        QTest::newRow("total missing") << QStringList({a, q, u, k}) << "Falta establecer el campo TOTAL";
        QTest::newRow("total twice") << QStringList({t, a, q, t}) << twice("TOTAL");
        QTest::newRow("position twice") << QStringList({a, q, t, n, n}) << twice("NCM");
        QTest::newRow("unit twice") << QStringList({d, a, q, t, d}) << twice("UNIDAD");
        QTest::newRow("origin twice") << QStringList({o, a, q, t, o, d}) << twice("ORIGEN");
        QTest::newRow("position before unit") << QStringList({d, n, a, q, t, d, n}) << twice("NCM");
        QTest::newRow("only the three required") << QStringList({"", t, q, a}) << QString();
        QTest::newRow("every field once")
            << QStringList({a, k, q, u, t, n, d, o, fl::DescrModelo, fl::DescrMaria, fl::Marca, fl::KgBruto})
            << QString();
        QTest::newRow("descriptions, brand and gross weight are not looked at")
            << QStringList({a, q, t, fl::DescrModelo, fl::DescrModelo, fl::DescrMaria, fl::DescrMaria,
                            fl::Marca, fl::Marca, fl::KgBruto, fl::KgBruto})
            << QString();
        QTest::newRow("labels compare as exact text")
            << QStringList({"[ cod. articulo ]", "[COD. ARTICULO]", q, t})
            << "Falta establecer el campo ARTICULO";
    }

    void verification()
    {
        QFETCH(QStringList, labels);
        QFETCH(QString, message);
        auto panel = newPanel();
        setMapping(panel->model(), labels);
        ScriptedInteraction script;
        if (!message.isEmpty()) script.expectMessage(message, Icon::Exclamation);
        QCOMPARE(panel->FRAM2_VerificarDatos(), message.isEmpty());
        VERIFY_SCRIPT(script);
        QCOMPARE(mapping::firstProblem(panel->model()), message);
        QCOMPARE(mappingRow(panel->model()), labels);
    }

    void mappingQueries()
    {
        SheetGridModel grid;
        setMapping(grid, {fl::Cantidad, "", fl::CodArticulo, fl::Cantidad});
        QCOMPARE(mapping::countMapped(grid, fl::Cantidad), 2);
        QCOMPARE(mapping::countMapped(grid, fl::PTotal), 0);
        QCOMPARE(mapping::countMapped(grid, QString()), 1);
        QCOMPARE(mapping::columnOf(grid, fl::CodArticulo), 2);
        QCOMPARE(mapping::columnOf(grid, fl::Cantidad), 0);
        QCOMPARE(mapping::columnOf(grid, fl::Origen), -1);
    }

    // ---- the wizard ----

    void wizardLoadEnablesNextStepAndClearsTheMark()
    {
        frmMain window(env->programFolder());
        ScriptedInteraction script;
        window.Form_Load();
        QCOMPARE(shared().iPaso, qint16(1));
        // The demo shipment already holds an article: step 2 marks it as processed.
        env->exec(
            QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO) values ('26001IC04000123', 1, 'X')"));
        auto *siguiente = window.findChild<QPushButton *>(QStringLiteral("cmdSiguiente"));
        QTest::mouseClick(siguiente, Qt::LeftButton);
        QCOMPARE(shared().iPaso, qint16(2));
        QCOMPARE(window.siguienteTag(), QStringLiteral("OK"));

        // A failed load keeps the button's state and the mark.
        script.expectOpenFile(kFilter, fixture(QStringLiteral("import_headings_only.xlsx")));
        script.expectMessage(
            loadFailure(30009, QStringLiteral("No hay filas de datos bajo los encabezados"), 590),
            Icon::Critical);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")),
                          Qt::LeftButton);
        QCOMPARE(window.siguienteTag(), QStringLiteral("OK"));
        QVERIFY(siguiente->isEnabled());

        script.expectOpenFile(kFilter, fixture(QStringLiteral("import_basic.xlsx")));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")),
                          Qt::LeftButton);
        QVERIFY(siguiente->isEnabled());
        QCOMPARE(window.siguienteTag(), QString());
        QCOMPARE(window.fram2()->model().rows(), 12);

        // The next click verifies the fresh mapping and stays on step 2 when it is refused.
        script.expectMessage(QStringLiteral("Falta establecer el campo ARTICULO"), Icon::Exclamation);
        QTest::mouseClick(siguiente, Qt::LeftButton);
        QCOMPARE(shared().iPaso, qint16(2));
        VERIFY_SCRIPT(script);
    }

    void wizardNewShipmentStartsDisabled()
    {
        frmMain window(env->programFolder());
        ScriptedInteraction script;
        window.Form_Load();
        auto *siguiente = window.findChild<QPushButton *>(QStringLiteral("cmdSiguiente"));
        QTest::mouseClick(siguiente, Qt::LeftButton);
        QCOMPARE(shared().iPaso, qint16(2));
        QVERIFY(!siguiente->isEnabled());
        QCOMPARE(window.siguienteTag(), QString());

        script.expectOpenFile(kFilter, fixture(QStringLiteral("import_edges.xlsx")));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")),
                          Qt::LeftButton);
        QVERIFY(siguiente->isEnabled());
        QCOMPARE(window.siguienteTag(), QString());
        VERIFY_SCRIPT(script);
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
