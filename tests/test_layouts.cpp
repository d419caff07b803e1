// Invoices as suppliers lay them out: a letterhead above the table, the items on a second sheet or
// after a hidden one, totals rows under the items, English and Portuguese headings, merged heading
// cells. Driven through the real step-2 grid (F3, F4, Supr, Ctrl+Z, F2) and through planexo-lote,
// each must store the articles that the same items store from a clean sheet.
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "import/FieldLabels.h"
#include "import/LayoutProposal.h"
#include "import/LoadPlan.h"
#include "import/MergedHeadings.h"
#include "import/ProposedMapping.h"
#include "import/SheetGridModel.h"
#include "import/SheetPreview.h"
#include "shared/SharedState.h"
#include "ui/app/frmMain.h"
#include "ui/import/SheetPanel.h"
#include "ui/import/frmFilaTitulos.h"

#include <QHash>

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using Icon = Interaction::Icon;

namespace {

QString data(const char *name)
{
    return QStringLiteral(PLANEXO_TEST_DATA_DIR "/") + QString::fromLatin1(name);
}

const QString kFilter = TestEnv::workbookFilter();
const QString kShipment = QStringLiteral("26001IC04000123");
const QString kNoDataRows = QStringLiteral("30009 - No hay filas de datos bajo los encabezados\r\n\r\n"
                                           "Seccion [Quintora.frmCFGExcel.lf_LevantarExcel] linea 590");
const QStringList kCodes = {QStringLiteral("MT-500"), QStringLiteral("DS-PH2"),  QStringLiteral("TL-13"),
                            QStringLiteral("ZP-42"),  QStringLiteral("CB-2X15"), QStringLiteral("LL-10"),
                            QStringLiteral("MT-300"), QStringLiteral("PZ-900"),  QStringLiteral("LN-LED"),
                            QStringLiteral("TC-7")};
// The seven fields of the clean sheet, mapped by hand with F1, by column.
const QStringList kCleanMapping = {
    fieldlabels::CodArticulo, fieldlabels::DescrModelo, fieldlabels::Cantidad, QString(), fieldlabels::PTotal,
    fieldlabels::Origen,      fieldlabels::KgNeto,      fieldlabels::PaNcm,    QString()};

void configure(TestEnv &env)
{
    env.setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
    env.setSetting(QStringLiteral("INTCAT"), QStringLiteral("001"));
    env.setSetting(QStringLiteral("PRCESM"), QStringLiteral("1"));
    env.setSetting(QStringLiteral("AA_MARCA"), QStringLiteral("GENERICA"));
}

// Every column of a shipment's articles, row by row, read straight from the file.
QVector<QVariantList> articleRows(const TestEnv &env, const QString &shipment, QStringList *columns = nullptr)
{
    QVector<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite")));
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("select * from ART where INTNRO = ? order by ARTORD"));
            q.addBindValue(shipment);
            q.exec();
            QStringList names;
            for (int i = 0; i < q.record().count(); ++i)
                names << q.record().fieldName(i);
            if (columns) *columns = names;
            while (q.next()) {
                QVariantList row;
                for (int i = 0; i < names.size(); ++i)
                    row << q.value(i);
                rows << row;
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return rows;
}

// The rows equal column by column (value, type and nullness), INTNRO left out when asked.
QString differences(const QVector<QVariantList> &a, const QVector<QVariantList> &b,
                    const QStringList &columns, bool skipShipment = false)
{
    if (a.size() != b.size()) return QStringLiteral("%1 rows against %2").arg(a.size()).arg(b.size());
    for (int r = 0; r < a.size(); ++r)
        for (int c = 0; c < columns.size(); ++c) {
            if (skipShipment && columns[c] == QLatin1String("INTNRO")) continue;
            const QVariant x = a[r][c], y = b[r][c];
            if (x.isNull() != y.isNull() || x.typeId() != y.typeId() || x != y)
                return QStringLiteral("row %1 column %2: %3 / %4")
                    .arg(r + 1)
                    .arg(columns[c], x.toString(), y.toString());
        }
    return QString();
}

QStringList mappingRow(const SheetGridModel &grid)
{
    QStringList labels;
    for (int c = 0; c < grid.cols(); ++c)
        labels << grid.text(1, c);
    return labels;
}

QStringList gridTexts(const SheetGridModel &grid)
{
    QStringList texts;
    for (int r = 0; r < grid.rows(); ++r)
        for (int c = 0; c < grid.cols(); ++c)
            texts << grid.text(r, c);
    return texts;
}

QString hint(const frmMain &w)
{
    return w.findChild<QLabel *>(QStringLiteral("Label13"))->text();
}

// Step 1 to step 2 on the demo shipment, and a workbook chosen through "Examinar".
void examinar(frmMain &w, ScriptedInteraction &script, const QString &file, bool fromStep1 = true,
              const QString &failure = QString())
{
    if (fromStep1)
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente")), Qt::LeftButton);
    script.expectOpenFile(kFilter, file);
    if (!failure.isEmpty()) script.expectMessage(failure, Icon::Critical);
    QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
}

void siguiente(frmMain &w)
{
    QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente")), Qt::LeftButton);
}

// What the F3 and F4 windows showed when they opened.
struct Shown {
    int selectedRow = -1;
    int selectedColumn = -1;
    QString rowHeader;
    QString firstCell;
    QStringList sheets;
    int selectedSheet = -1;
};

// F3, then Enter (or Escape) in "Fila de títulos".
void f3(frmMain &w, ScriptedInteraction &script, Shown *shown, int pick = 0, bool escape = false,
        const QString &failure = QString())
{
    script.expectModal(QStringLiteral("frmFilaTitulos"), [=](QDialog &d) {
        auto &dialog = static_cast<frmFilaTitulos &>(d);
        QTableView *rows = dialog.filas();
        shown->selectedRow = dialog.filaSeleccionada();
        shown->selectedColumn = dialog.columnaSeleccionada();
        shown->rowHeader = rows->model()->headerData(shown->selectedRow - 1, Qt::Vertical).toString();
        shown->firstCell = rows->model()->index(shown->selectedRow - 1, 0).data().toString();
        if (pick > 0) rows->setCurrentIndex(rows->model()->index(pick - 1, 0));
        QTest::keyClick(rows, escape ? Qt::Key_Escape : Qt::Key_Return);
        return d.result();
    });
    if (!failure.isEmpty()) script.expectMessage(failure, Icon::Critical);
    QTest::keyClick(w.fram2()->grid(), Qt::Key_F3);
}

// F4, then Enter in "Hoja del libro".
void f4(frmMain &w, ScriptedInteraction &script, Shown *shown)
{
    script.expectModal(QStringLiteral("frmHoja"), [=](QDialog &d) {
        auto *list = d.findChild<QListWidget *>(QStringLiteral("lstHojas"));
        for (int i = 0; i < list->count(); ++i)
            shown->sheets << list->item(i)->text();
        shown->selectedSheet = list->currentRow();
        QTest::keyClick(list, Qt::Key_Return);
        return d.result();
    });
    QTest::keyClick(w.fram2()->grid(), Qt::Key_F4);
}

void key(frmMain &w, int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(w.fram2()->grid(), Qt::Key(k), modifiers);
}

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run lote(const TestEnv &env, const QStringList &arguments, const QString &locale)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), env.programFolder() + QStringLiteral("/config"));
    e.insert(QStringLiteral("LC_ALL"), locale);
    e.insert(QStringLiteral("LANG"), locale);
    p.setProcessEnvironment(e);
    p.start(QStringLiteral(PLANEXO_LOTE_EXE),
            arguments + QStringList{QStringLiteral("--carpeta"), env.programFolder()});
    Run run;
    if (!p.waitForFinished(60000)) return run;
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    // A console program's text-mode output on Windows ends its lines with CR LF.
    run.out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    run.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return run;
}

QString localeName(bool comma)
{
    return comma ? QStringLiteral("es_AR.UTF-8") : QStringLiteral("en_US.UTF-8");
}

// PrintedTable: a PDF whose table ends at a blank row under the items, its headings in a row below
// the letterhead.
enum Kind { Letterhead, SecondSheet, HiddenSheet, PrintedTable };
enum Round2 { Merged, AtB4, BlankLeft, BlankTaken, Repeated, TwoPages };

// The clean sheet mapped by hand with F1, through the window: the reference articles, once per
// locale.
void cleanArticles(bool comma, QStringList *columns, QVector<QVariantList> *rows)
{
    static QHash<bool, QPair<QStringList, QVector<QVariantList>>> done;
    if (!done.contains(comma)) {
        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        examinar(w, script, data("layout_clean.xlsx"));
        // A clean sheet: nothing to propose but the mapping.
        QCOMPARE(hint(w),
                 QStringLiteral("[F1] Seleccionar Campos   [F2] Aplicar mapeo propuesto (7 de 9 columnas)"));
        SheetGridModel &grid = w.fram2()->model();
        for (int c = 0; c < kCleanMapping.size(); ++c) {
            if (kCleanMapping[c].isEmpty()) continue;
            w.fram2()->grid()->setCurrentIndex(grid.index(2, c));
            const QString label = kCleanMapping[c];
            script.expectModal(QStringLiteral("frmCampos"), [label](QDialog &d) {
                auto *list = d.findChild<QComboBox *>(QStringLiteral("cboCampos"));
                list->setCurrentIndex(list->findText(label));
                QTest::keyClick(list, Qt::Key_Return);
                return d.result();
            });
            key(w, Qt::Key_F1);
        }
        siguiente(w);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(3));
        QStringList names;
        const QVector<QVariantList> articles = articleRows(env, kShipment, &names);
        done.insert(comma, {names, articles});
        resetShared();
    }
    *columns = done[comma].first;
    *rows = done[comma].second;
}

} // namespace

class TestLayouts : public QObject {
    Q_OBJECT

  private slots:
    void supplierInvoicesStoreTheCleanSheetsArticles_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        for (bool comma : {false, true}) {
            const char *locale = comma ? "comma" : "point";
            QTest::addRow("letterhead xlsx, %s", locale)
                << comma << data("layout_letterhead.xlsx") << int(Letterhead);
            QTest::addRow("letterhead xls, %s", locale)
                << comma << data("layout_letterhead.xls") << int(Letterhead);
            QTest::addRow("second sheet, %s", locale)
                << comma << data("layout_second_sheet.xlsx") << int(SecondSheet);
            QTest::addRow("hidden sheet, %s", locale)
                << comma << data("layout_hidden_sheet.xlsx") << int(HiddenSheet);
#ifdef PLANEXO_PDFTEXT_EXE
            QTest::addRow("letterhead pdf by LibreOffice, %s", locale)
                << comma << data("layout_letterhead_libreoffice.pdf") << int(Letterhead);
            QTest::addRow("pdf by reportlab, %s", locale)
                << comma << data("invoice_reportlab_unruled.pdf") << int(PrintedTable);
            QTest::addRow("pdf by wkhtmltopdf, %s", locale)
                << comma << data("invoice_wkhtmltopdf.pdf") << int(PrintedTable);
#endif
        }
    }

    // The clean sheet mapped by hand with F1 gives the reference; each supplier's invoice is
    // brought to the same grid with the keys the hint line proposes, and its F2 proposal maps the
    // same seven columns. The stored articles are then the same, column by column.
    void supplierInvoicesStoreTheCleanSheetsArticles()
    {
        QFETCH(bool, comma);
        QFETCH(QString, file);
        QFETCH(int, kind);
        comma ? TestEnv::useComma() : TestEnv::usePoint();

        QStringList columns;
        QVector<QVariantList> reference;
        cleanArticles(comma, &columns, &reference);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(reference.size(), kCodes.size());

        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        // A cover sheet's title over an empty row is a sheet without data rows, as the first sheet
        // has always been refused; the workbook is read all the same for F4.
        examinar(w, script, file, true, kind == SecondSheet ? kNoDataRows : QString());
        SheetGridModel &grid = w.fram2()->model();
        Shown shown;
        switch (Kind(kind)) {
        case Letterhead:
            // Row 1 is the supplier's name, merged over the table's width.
            QCOMPARE(grid.cols(), 1);
            QVERIFY2(hint(w).contains(QStringLiteral("[F3] Fila de títulos: la fila 9 parece la de títulos")),
                     qPrintable(hint(w)));
            f3(w, script, &shown);
            QCOMPARE(shown.selectedRow, 9);
            QCOMPARE(shown.rowHeader, QStringLiteral("9"));
            QCOMPARE(shown.firstCell, QStringLiteral("Item No."));
            // The English headings, the merged "PRICE (USD)" above two of them read with theirs.
            QCOMPARE(grid.cols(), 9);
            QCOMPARE(grid.text(0, 0), QStringLiteral("Item No."));
            QCOMPARE(grid.text(0, 8), QStringLiteral("G.W. (kg)"));
            QCOMPARE(grid.rows(), 2 + 12);
            // The signature line below the blank row is said, not taken.
            QCOMPARE(hint(w),
                     QStringLiteral(
                         "[F1] Seleccionar Campos   [F2] Aplicar mapeo propuesto (7 de 9 columnas)   "
                         "Debajo de la fila vacía 22 hay 1 fila con datos que no se cargó: [F5] cargarlas   "
                         "[Supr] quitar 2 filas de totales"));
            break;
        case SecondSheet:
            QVERIFY2(hint(w).contains(
                         QStringLiteral("[F4] Hoja del libro: la hoja Fatura parece la de los artículos")),
                     qPrintable(hint(w)));
            f4(w, script, &shown);
            QCOMPARE(shown.sheets, (QStringList{QStringLiteral("Capa"), QStringLiteral("Fatura")}));
            QCOMPARE(shown.selectedSheet, 1);
            QVERIFY2(hint(w).contains(QStringLiteral("[F3] Fila de títulos: la fila 4 parece la de títulos")),
                     qPrintable(hint(w)));
            f3(w, script, &shown);
            QCOMPARE(shown.selectedRow, 4);
            QCOMPARE(grid.text(0, 1), QStringLiteral("Descrição"));
            QVERIFY2(hint(w).endsWith(QStringLiteral("[Supr] quitar 1 fila de totales")),
                     qPrintable(hint(w)));
            break;
        case HiddenSheet:
            // The hidden first sheet has a little table of its own; the visible one is proposed.
            QCOMPARE(grid.text(0, 0), QStringLiteral("Moneda"));
            QVERIFY2(hint(w).contains(
                         QStringLiteral("[F4] Hoja del libro: la hoja Factura parece la de los artículos")),
                     qPrintable(hint(w)));
            f4(w, script, &shown);
            QCOMPARE(shown.sheets,
                     (QStringList{QStringLiteral("Tasas (oculta)"), QStringLiteral("Factura")}));
            QVERIFY(!hint(w).contains(QStringLiteral("[F3]")));
            QVERIFY2(hint(w).endsWith(QStringLiteral("[Supr] quitar 1 fila de totales")),
                     qPrintable(hint(w)));
            break;
        case PrintedTable: {
            // The letterhead's first line alone is row 1; the headings are proposed, the items end
            // at the blank row the gap above the totals makes.
            const int headingRow = file.contains(QLatin1String("wkhtmltopdf")) ? 4 : 6;
            QCOMPARE(grid.cols(), 1);
            QVERIFY2(
                hint(w).contains(
                    QStringLiteral("[F3] Fila de títulos: la fila %1 parece la de títulos").arg(headingRow)),
                qPrintable(hint(w)));
            f3(w, script, &shown);
            QCOMPARE(shown.selectedRow, headingRow);
            QCOMPARE(grid.cols(), 9);
            QCOMPARE(grid.text(0, 0), QStringLiteral("Código"));
            QCOMPARE(grid.rows(), 2 + 10);
            QVERIFY2(!hint(w).contains(QStringLiteral("[Supr]")), qPrintable(hint(w)));
            break;
        }
        }
        if (kind != PrintedTable) {
            // The totals rows come selected: Supr takes them and nothing else.
            const int before = grid.rows();
            const int totals = kind == Letterhead ? 2 : 1;
            key(w, Qt::Key_Delete);
            QCOMPARE(grid.rows(), before - totals);
        }
        QCOMPARE(grid.text(grid.rows() - 1, 0), QStringLiteral("TC-7"));
        QVERIFY(!hint(w).contains(QStringLiteral("[Supr]")));
        key(w, Qt::Key_F2);
        QStringList expected = kCleanMapping;
        QCOMPARE(mappingRow(grid), expected);
        siguiente(w);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(3));

        QStringList supplierColumns;
        const QVector<QVariantList> rows = articleRows(env, kShipment, &supplierColumns);
        QCOMPARE(supplierColumns, columns);
        const QString diff = differences(rows, reference, columns);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    void moreSupplierLayoutsStoreTheCleanSheetsArticles_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        for (bool comma : {false, true}) {
            const char *locale = comma ? "comma" : "point";
            QTest::addRow("merged headings xlsx (openpyxl), %s", locale)
                << comma << data("layout_merged.xlsx") << int(Merged);
            QTest::addRow("merged headings ods (LibreOffice), %s", locale)
                << comma << data("layout_merged.ods") << int(Merged);
            QTest::addRow("table at B4 xlsx (openpyxl), %s", locale)
                << comma << data("layout_b4.xlsx") << int(AtB4);
            QTest::addRow("table at B4 xls (ssconvert), %s", locale)
                << comma << data("layout_b4.xls") << int(AtB4);
            QTest::addRow("blank row left xlsx, %s", locale)
                << comma << data("layout_blank_row.xlsx") << int(BlankLeft);
            QTest::addRow("blank row taken ods (LibreOffice), %s", locale)
                << comma << data("layout_blank_row.ods") << int(BlankTaken);
            QTest::addRow("repeated headings xlsx (openpyxl), %s", locale)
                << comma << data("layout_repeated.xlsx") << int(Repeated);
            QTest::addRow("repeated headings xls (ssconvert), %s", locale)
                << comma << data("layout_repeated.xls") << int(Repeated);
#ifdef PLANEXO_PDFTEXT_EXE
            QTest::addRow("two pages pdf by reportlab, %s", locale)
                << comma << data("invoice_reportlab_ruled.pdf") << int(TwoPages);
#endif
        }
    }

    // Merged two-row headings, a table at B4, items past a blank row, the heading row repeated with
    // page lines: each brought to the clean sheet's grid with the keys the hint line offers.
    void moreSupplierLayoutsStoreTheCleanSheetsArticles()
    {
        QFETCH(bool, comma);
        QFETCH(QString, file);
        QFETCH(int, kind);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        QStringList columns;
        QVector<QVariantList> reference;
        cleanArticles(comma, &columns, &reference);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(reference.size(), kCodes.size());

        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        const bool firstRowsEmpty = kind == Merged || kind == AtB4;
        examinar(w, script, file, true, firstRowsEmpty ? kNoDataRows : QString());
        SheetGridModel &grid = w.fram2()->model();
        Shown shown;
        int removed = 1;
        switch (Round2(kind)) {
        case Merged:
            QVERIFY2(hint(w).contains(QStringLiteral("[F3] Fila de títulos: la fila 4 parece la de títulos")),
                     qPrintable(hint(w)));
            f3(w, script, &shown);
            QCOMPARE(shown.selectedRow, 4);
            QCOMPARE(grid.cols(), 9);
            QCOMPARE(grid.text(0, 0), QStringLiteral("Código"));
            QCOMPARE(grid.text(0, 3), QStringLiteral("PRECIO (USD) P. Unit."));
            QCOMPARE(grid.text(0, 4), QStringLiteral("PRECIO (USD) Total"));
            QCOMPARE(grid.text(0, 8), QStringLiteral("Kg Bruto"));
            break;
        case AtB4:
            QVERIFY2(hint(w).contains(QStringLiteral(
                         "[F3] Fila de títulos: la fila 4, desde la columna B, parece la de títulos")),
                     qPrintable(hint(w)));
            f3(w, script, &shown);
            QCOMPARE(shown.selectedRow, 4);
            QCOMPARE(shown.selectedColumn, 2);
            QCOMPARE(w.fram2()->plan().firstColumn, 2);
            QCOMPARE(grid.cols(), 9);
            QCOMPARE(grid.text(2, 0), QStringLiteral("MT-500"));
            break;
        case BlankLeft:
        case BlankTaken:
            QCOMPARE(grid.rows(), 2 + 6);
            QVERIFY2(
                hint(w).endsWith(QStringLiteral(
                    "Debajo de la fila vacía 8 hay 5 filas con datos que no se cargaron: [F5] cargarlas")),
                qPrintable(hint(w)));
            if (kind == BlankLeft) {
                removed = 0;
                reference.resize(6);
                break;
            }
            key(w, Qt::Key_F5);
            QCOMPARE(grid.rows(), 2 + 11);
            QCOMPARE(w.fram2()->sheetRows().sheetRow(2 + 6), 9);
            QVERIFY(!hint(w).contains(QStringLiteral("Debajo")));
            QVERIFY2(hint(w).endsWith(QStringLiteral("[Supr] quitar 1 fila de totales")),
                     qPrintable(hint(w)));
            break;
        case Repeated:
            removed = 6;
            QVERIFY2(hint(w).endsWith(QStringLiteral(
                         "[Supr] quitar 2 filas de títulos repetidos, 3 de líneas de página y 1 de totales")),
                     qPrintable(hint(w)));
            {
                // The proposed totals row, the last, is scrolled into view; the first item stays current.
                QTableView *view = w.fram2()->grid();
                QVERIFY(
                    view->viewport()->rect().intersects(view->visualRect(grid.index(grid.rows() - 1, 0))));
                QVERIFY(!view->viewport()->rect().contains(view->visualRect(grid.index(2, 0))));
                QCOMPARE(view->currentIndex().row(), 2);
            }
            // Moving away leaves the proposal to F7, which selects every proposed row again.
            key(w, Qt::Key_Down);
            QVERIFY2(
                hint(w).endsWith(QStringLiteral("[F7] Seleccionar las filas para quitar 2 filas de títulos "
                                                "repetidos, 3 de líneas de página y 1 de totales")),
                qPrintable(hint(w)));
            key(w, Qt::Key_F7);
            QVERIFY(hint(w).contains(QStringLiteral("[Supr] quitar 2 filas")));
            break;
        case TwoPages:
            // Page 2's items lie past the blank row the page break leaves; once F5 takes them, the
            // heading page 2 repeats, both page footers, the totals and the bank details and
            // signature under them are proposed, and F7 selects them all again.
            QVERIFY2(hint(w).contains(QStringLiteral("[F3] Fila de títulos: la fila 6 parece la de títulos")),
                     qPrintable(hint(w)));
            f3(w, script, &shown);
            QCOMPARE(shown.selectedRow, 6);
            QCOMPARE(grid.rows(), 2 + 6);
            QVERIFY2(
                hint(w).endsWith(QStringLiteral("Debajo de la fila vacía 13 hay 11 filas con datos que no "
                                                "se cargaron: [F5] cargarlas")),
                qPrintable(hint(w)));
            key(w, Qt::Key_F5);
            QCOMPARE(grid.rows(), 2 + 17);
            QCOMPARE(grid.text(2 + 6, 0), QStringLiteral("Página 1 de 2"));
            QCOMPARE(grid.text(2 + 7, 0), QStringLiteral("Código"));
            QVERIFY2(
                hint(w).endsWith(QStringLiteral("[Supr] quitar 1 fila de títulos repetidos, 2 de líneas de "
                                                "página, 2 de totales y 2 de pie de factura")),
                qPrintable(hint(w)));
            key(w, Qt::Key_Down);
            QVERIFY2(hint(w).contains(QStringLiteral("[F7] Seleccionar las filas para quitar 1 fila")),
                     qPrintable(hint(w)));
            key(w, Qt::Key_F7);
            key(w, Qt::Key_Delete);
            QCOMPARE(grid.rows(), 2 + 10);
            QVERIFY2(hint(w).endsWith(QStringLiteral("Se quitaron 7 filas: [Ctrl+Z] las vuelve a poner")),
                     qPrintable(hint(w)));
            QCOMPARE(grid.text(grid.rows() - 1, 0), QStringLiteral("TC-7"));
            removed = 0;
            break;
        }
        if (removed > 0) {
            const int before = grid.rows();
            key(w, Qt::Key_Delete);
            QCOMPARE(grid.rows(), before - removed);
            QVERIFY2(hint(w).endsWith(
                         removed == 1 ? QStringLiteral("Se quitó 1 fila: [Ctrl+Z] la vuelve a poner")
                                      : QStringLiteral("Se quitaron 6 filas: [Ctrl+Z] las vuelve a poner")),
                     qPrintable(hint(w)));
        }
        QVERIFY(hint(w).contains(QStringLiteral("[F2] Aplicar mapeo propuesto (7 de 9 columnas)")));
        key(w, Qt::Key_F2);
        QCOMPARE(mappingRow(grid), kCleanMapping);
        // F2's offer goes once taken; the columns it left are named.
        QVERIFY2(!hint(w).contains(QStringLiteral("[F2]")), qPrintable(hint(w)));
        QVERIFY2(hint(w).contains(QStringLiteral("sin mapear: ") + grid.text(0, 3) + QStringLiteral(", ") +
                                  grid.text(0, 8)),
                 qPrintable(hint(w)));
        siguiente(w);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(3));
        // The process summary says again what was left.
        const QString message = w.findChild<QLabel *>(QStringLiteral("Main_lbMensaje"))->text();
        if (kind == BlankLeft)
            QCOMPARE(message,
                     QStringLiteral("Debajo de la fila vacía 8 hay 5 filas con datos que no se cargaron"));
        else
            QVERIFY2(!message.contains(QStringLiteral("Debajo")), qPrintable(message));
        const QString diff = differences(articleRows(env, kShipment), reference, columns);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    // Escape leaves the grid as it was; removed rows come back with Ctrl+Z in their places, the
    // last removal first; a heading row with nothing under it is refused and the grid kept.
    void removedRowsComeBackAndEscapeLeavesTheGrid()
    {
        TestEnv::usePoint();
        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        examinar(w, script, data("layout_letterhead.xlsx"));
        SheetGridModel &grid = w.fram2()->model();
        const QStringList loaded = gridTexts(grid);
        Shown shown;
        f3(w, script, &shown, 0, true);
        QCOMPARE(gridTexts(grid), loaded);
        f3(w, script, &shown);
        const QStringList atRow9 = gridTexts(grid);
        QCOMPARE(w.fram2()->plan().headingRow, 9);

        // The totals rows come selected and the hint says Supr takes them; once the operator
        // moves, Supr takes the new selection and the hint no longer says so.
        QVERIFY(hint(w).endsWith(QStringLiteral("[Supr] quitar 2 filas de totales")));
        QTableView *view = w.fram2()->grid();
        key(w, Qt::Key_Down);
        QVERIFY2(!hint(w).contains(QStringLiteral("[Supr]")), qPrintable(hint(w)));

        // Rows 12 and 14 with Ctrl, then 16 to 17 with Shift: two removals.
        view->setCurrentIndex(grid.index(4, 1)); // sheet row 12
        view->selectionModel()->select(grid.index(6, 1), QItemSelectionModel::Select);
        key(w, Qt::Key_Delete);
        QCOMPARE(grid.rows(), 14 - 2);
        QCOMPARE(grid.text(4, 0), QStringLiteral("ZP-42"));
        QCOMPARE(w.fram2()->sheetRows().sheetRow(4), 13);
        view->setCurrentIndex(grid.index(6, 0)); // sheet row 16
        key(w, Qt::Key_Down, Qt::ShiftModifier);
        key(w, Qt::Key_Delete);
        QCOMPARE(grid.rows(), 14 - 4);
        QCOMPARE(w.fram2()->plan().removedRows, (QVector<int>{12, 14, 16, 17}));
        key(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.fram2()->plan().removedRows, (QVector<int>{12, 14}));
        key(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(gridTexts(grid), atRow9);
        QVERIFY(w.fram2()->plan().removedRows.isEmpty());
        // Nothing more to put back.
        key(w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(gridTexts(grid), atRow9);

        // Row 24, the signature line, has no data row under it.
        f3(w, script, &shown, 24, false, kNoDataRows);
        VERIFY_SCRIPT(script);
        QCOMPARE(gridTexts(grid), atRow9);
        QCOMPARE(w.fram2()->plan().headingRow, 9);
    }

    // A supplier's second invoice: the layout remembered with its heading row, so F2 alone brings
    // the headings and the mapping.
    void rememberedLayoutNeedsF2Alone()
    {
        TestEnv::useComma();
        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        QStringList mapped;
        {
            frmMain w(env.programFolder());
            w.Form_Load();
            w.show();
            examinar(w, script, data("layout_letterhead.xlsx"));
            Shown shown;
            f3(w, script, &shown);
            key(w, Qt::Key_Delete);
            key(w, Qt::Key_F2);
            mapped = mappingRow(w.fram2()->model());
            QCOMPARE(mapped, kCleanMapping);
            siguiente(w);
            VERIFY_SCRIPT(script);
            QCOMPARE(shared().iPaso, qint16(3));
        }
        resetShared();
        frmMain again(env.programFolder());
        again.Form_Load();
        again.show();
        examinar(again, script, data("layout_letterhead.xlsx"));
        QVERIFY2(
            hint(again).contains(QStringLiteral("[F2] Aplicar el mapeo recordado para estos encabezados")),
            qPrintable(hint(again)));
        key(again, Qt::Key_F2);
        VERIFY_SCRIPT(script);
        QCOMPARE(again.fram2()->plan().headingRow, 9);
        QCOMPARE(again.fram2()->model().text(0, 0), QStringLiteral("Item No."));
        QCOMPARE(mappingRow(again.fram2()->model()), mapped);
        QVERIFY(hint(again).contains(QStringLiteral("[Supr] quitar 2 filas de totales")));
    }

    // The same for items behind a cover sheet: the cover loads with the Part's refusal, and F2
    // then brings the remembered sheet, heading row and mapping.
    void rememberedSheetNeedsF2Alone()
    {
        TestEnv::usePoint();
        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        const QString file = data("layout_second_sheet.xlsx");
        {
            frmMain w(env.programFolder());
            w.Form_Load();
            w.show();
            examinar(w, script, file, true, kNoDataRows);
            Shown shown;
            f4(w, script, &shown);
            f3(w, script, &shown);
            key(w, Qt::Key_Delete);
            key(w, Qt::Key_F2);
            QCOMPARE(mappingRow(w.fram2()->model()), kCleanMapping);
            siguiente(w);
            VERIFY_SCRIPT(script);
            QCOMPARE(shared().iPaso, qint16(3));
        }
        resetShared();
        frmMain again(env.programFolder());
        again.Form_Load();
        again.show();
        examinar(again, script, file, true, kNoDataRows);
        QVERIFY2(
            hint(again).contains(QStringLiteral("[F2] Aplicar el mapeo recordado para estos encabezados")),
            qPrintable(hint(again)));
        // The shipment has articles and the cover's load failed: "Siguiente >" would skip the process.
        QCOMPARE(again.siguienteTag(), QStringLiteral("OK"));
        key(again, Qt::Key_F2);
        VERIFY_SCRIPT(script);
        // F2's load is a load: the next step verifies and processes again.
        QCOMPARE(again.siguienteTag(), QString());
        QCOMPARE(again.fram2()->plan().sheet, 1);
        QCOMPARE(again.fram2()->plan().headingRow, 4);
        QCOMPARE(again.fram2()->model().text(0, 2), QStringLiteral("Qtde"));
        QCOMPARE(mappingRow(again.fram2()->model()), kCleanMapping);
    }

    // The logic under the hint line, case by case.
    void proposals()
    {
        TestEnv::useComma();
        SheetPreview p;
        p.cols = 4;
        const auto row = [](std::initializer_list<const char *> cells) {
            QStringList r;
            for (const char *c : cells)
                r << QString::fromUtf8(c);
            return r;
        };
        // A letterhead of three texts over a row of texts and a date; headings over one number only;
        // the real headings over numbers written in the comma locale.
        p.rows = {row({"ACME", "", "", ""}),
                  row({"Invoice No.:", "A-1", "Date:", ""}),
                  row({"Buyer:", "Sur S.A.", "05/03/2024", ""}),
                  row({"Code", "Description", "Qty", "Notes"}),
                  row({"X", "", "3", "y"}),
                  row({"Code", "Description", "Qty", "Amount"}),
                  row({"MT-500", "Martillo", "24", "102,5"})};
        QCOMPARE(layoutproposal::headingRow(p), 6);
        p.rows.removeLast();
        QCOMPARE(layoutproposal::headingRow(p), 0);
        p.rows = {row({"Code", "Description", "Qty", "Amount"}), row({"1", "2", "", ""})};
        QCOMPARE(layoutproposal::headingRow(p), 1);

        for (const char *yes : {"TOTAL", "Sub-Total", "subtotal", "TOTAL FOB:", "Importe total", "Seguro",
                                "Flete marítimo", "C.I.F.", "cif", "Totales", "FREIGHT"})
            QVERIFY2(layoutproposal::carriesTotalsWord(QString::fromUtf8(yes)), yes);
        for (const char *no : {"Totally", "CIF123", "Totalizador", "Martillo", ""})
            QVERIFY2(!layoutproposal::carriesTotalsWord(QString::fromUtf8(no)), no);

        // Totals rows: only those under the last item, only with an empty code cell.
        SheetGridModel grid;
        grid.resize(7, 3);
        const QStringList cells = {"Cod",      "Desc", "Importe", "",    "",   "",  "A1", "Total station",
                                   "10",       "",     "TOTAL",   "10",  "A2", "x", "5",  "",
                                   "Subtotal", "15",   "",        "FOB", "15"};
        for (int i = 0; i < cells.size(); ++i)
            grid.setText(i / 3, i % 3, cells[i]);
        QCOMPARE(layoutproposal::totalsRows(grid, -1), (QVector<int>{5, 6}));
        grid.setText(1, 1, fieldlabels::CodArticulo);
        QCOMPARE(layoutproposal::totalsRows(grid, 1), QVector<int>());

        // Under the totals, the foot of a table taken past blank rows goes with them; text rows under
        // items without totals above them stay.
        SheetGridModel foot;
        foot.resize(7, 3);
        const QStringList footCells = {"Cod",
                                       "Desc",
                                       "Importe",
                                       "",
                                       "",
                                       "",
                                       "A1",
                                       "x",
                                       "10",
                                       "A2",
                                       "y",
                                       "5",
                                       "",
                                       "TOTAL",
                                       "15",
                                       "Banco Nación - CBU 0110599520000001234567",
                                       "",
                                       "",
                                       "Página 2 de 2",
                                       "",
                                       ""};
        for (int i = 0; i < footCells.size(); ++i)
            foot.setText(i / 3, i % 3, footCells[i]);
        layoutproposal::StrayRows footStray = layoutproposal::strayRows(foot, -1);
        QCOMPARE(footStray.all(), (QVector<int>{4, 5, 6}));
        QCOMPARE(footStray.removalText(),
                 QStringLiteral("quitar 1 fila de líneas de página, 1 de totales y 1 de pie de factura"));
        foot.setText(4, 0, QStringLiteral("A3"));
        foot.setText(4, 1, QStringLiteral("z"));
        footStray = layoutproposal::strayRows(foot, -1);
        QCOMPARE(footStray.all(), QVector<int>{6});
        QCOMPARE(footStray.pageLines, QVector<int>{6});
        // A totals label in the code column with only numbers beside it is a totals row; a code
        // beside a description is an item.
        foot.setText(4, 0, QStringLiteral("Total U$S"));
        foot.setText(4, 1, QString());
        QCOMPARE(layoutproposal::strayRows(foot, -1).totals, QVector<int>{4});
        foot.setText(4, 0, QStringLiteral("TOTAL-1"));
        foot.setText(4, 1, QStringLiteral("z"));
        QCOMPARE(layoutproposal::strayRows(foot, -1).all(), QVector<int>{6});

        QCOMPARE(proposedmapping::normalized(QStringLiteral("N.W.")),
                 proposedmapping::normalized(QStringLiteral("nw")));
        QCOMPARE(proposedmapping::normalized(QStringLiteral("Posición ")), QStringLiteral("posicion"));
        QCOMPARE(proposedmapping::builtInWords().value(QStringLiteral("qtde")), fieldlabels::Cantidad);
        // Only the chooser's fields are proposed: no unit price, no gross weight.
        for (const QString &label : proposedmapping::builtInWords())
            QVERIFY(fieldlabels::chooserEntries().contains(label) && label != fieldlabels::Ninguno);

        // Learned words first; a field goes to its first column; "(USD)" is looked past.
        SheetGridModel headings;
        headings.resize(3, 5);
        const QStringList words = {"Ref", "Amount (USD)", "Qty", "Cantidad", "Marca"};
        for (int c = 0; c < words.size(); ++c)
            headings.setText(0, c, words[c]);
        savedmapping::Layout office;
        office.key = QStringLiteral("ref") + QChar(0x1F) + QStringLiteral("otra");
        office.mapping = {{0, fieldlabels::DescrModelo}, {1, fieldlabels::Marca}};
        const QHash<QString, QString> learned = proposedmapping::learned({office});
        QCOMPARE(learned.value(QStringLiteral("ref")), fieldlabels::DescrModelo);
        QVERIFY(!learned.contains(QStringLiteral("otra"))); // MARCA is not offered by the chooser
        const savedmapping::Mapping proposed = proposedmapping::propose(headings, learned);
        QCOMPARE(proposed.size(), 3);
        QCOMPARE(proposed[0].column, 0);
        QCOMPARE(proposed[0].label, fieldlabels::DescrModelo);
        QCOMPARE(proposed[1].column, 1);
        QCOMPARE(proposed[1].label, fieldlabels::PTotal);
        QCOMPARE(proposed[2].column, 2);
        QCOMPARE(proposed[2].label, fieldlabels::Cantidad);

        // Page lines, whole cells only; an item's description is none.
        for (const char *yes :
             {"Página 2 de 3", "PAGE 2/3", "Page 2 of 3", "pag. 4", "Continúa en la página siguiente",
              "Transporte", "A transportar:", "Carried forward", "Van"})
            QVERIFY2(layoutproposal::isPageLine(QString::fromUtf8(yes)), yes);
        for (const char *no :
             {"Paginador A4", "Transportes del Sur SRL", "Page boy", "CAMIONETA VAN 2.0", ""})
            QVERIFY2(!layoutproposal::isPageLine(QString::fromUtf8(no)), no);
        layoutproposal::StrayRows stray;
        stray.totals = {9};
        QCOMPARE(stray.removalText(), QStringLiteral("quitar 1 fila de totales"));
        stray.repeatedHeadings = {4, 7, 8};
        QCOMPARE(stray.removalText(), QStringLiteral("quitar 3 filas de títulos repetidos y 1 de totales"));
        QCOMPARE(stray.all(), (QVector<int>{4, 7, 8, 9}));

        // A title merged over the whole table stays out of the headings under it; a group over
        // some columns goes before theirs; a heading merged down is its column's own.
        const QHash<QPair<int, int>, QString> headingCells = {{{1, 1}, "FACTURA"}, {{2, 1}, "Code"},
                                                              {{2, 2}, "PRICE"},   {{3, 2}, "Unit"},
                                                              {{3, 3}, "Total"},   {{2, 4}, "Origin"}};
        const auto text = [&](int r, int c) { return headingCells.value({r, c}); };
        const mergedheadings::Ranges ranges = {{1, 1, 1, 4}, {2, 1, 3, 1}, {2, 2, 2, 3}, {2, 4, 3, 4}};
        QCOMPARE(mergedheadings::headings(text, ranges, 3, 1, 256),
                 (QStringList{"Code", "PRICE Unit", "PRICE Total", "Origin"}));
        QCOMPARE(mergedheadings::headings(text, ranges, 2, 1, 256),
                 (QStringList{"Code", "PRICE", "PRICE", "Origin"}));

        QVector<int> rows;
        QVERIFY(parseRowList(QStringLiteral("41-40"), &rows) == false);
        QVERIFY(parseRowList(QStringLiteral(" 40-41, 12,12"), &rows));
        QCOMPARE(rows, (QVector<int>{12, 40, 41}));
        for (const char *bad : {"", "0", "a", "3-", "1-2-3", "-4"})
            QVERIFY2(!parseRowList(QString::fromLatin1(bad), &rows), bad);
    }

    // The batch command by the same plan: each supplier's invoice stores what the clean sheet
    // stores; --json says which sheet, heading row and rows were used.
    void batchMatchesTheCleanSheet()
    {
        for (bool comma : {false, true}) {
            const QString locale = localeName(comma);
            TestEnv env;
            configure(env);
            Run run =
                lote(env,
                     {QStringLiteral("procesar"), QStringLiteral("--interno"), QStringLiteral("LIMPIA"),
                      QStringLiteral("--crear"), QStringLiteral("limpia"), QStringLiteral("--archivo"),
                      data("layout_clean.xlsx"), QStringLiteral("--mapeo"), QStringLiteral("propuesto")},
                     locale);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            QStringList columns;
            const QVector<QVariantList> reference = articleRows(env, QStringLiteral("LIMPIA"), &columns);
            QCOMPARE(reference.size(), kCodes.size());

            struct Case {
                QString shipment, file;
                QStringList options;
                QString sheetName;
                int sheet, headingRow;
                QVector<int> removed;
                QString dataRows;
            };
            QList<Case> cases = {
                {QStringLiteral("MEMBRETE"),
                 data("layout_letterhead.xlsx"),
                 {QStringLiteral("--fila-titulos"), QStringLiteral("auto"), QStringLiteral("--quitar-filas"),
                  QStringLiteral("20-21")},
                 QStringLiteral("Invoice"),
                 1,
                 9,
                 {20, 21},
                 QStringLiteral("10-19")},
                {QStringLiteral("MEMBRETE-XLS"),
                 data("layout_letterhead.xls"),
                 {QStringLiteral("--fila-titulos"), QStringLiteral("9"), QStringLiteral("--quitar-filas"),
                  QStringLiteral("21,20")},
                 QStringLiteral("Invoice"),
                 1,
                 9,
                 {20, 21},
                 QStringLiteral("10-19")},
                {QStringLiteral("SEGUNDA"),
                 data("layout_second_sheet.xlsx"),
                 {QStringLiteral("--hoja"), QStringLiteral("fatura"), QStringLiteral("--fila-titulos"),
                  QStringLiteral("auto"), QStringLiteral("--quitar-filas"), QStringLiteral("15")},
                 QStringLiteral("Fatura"),
                 2,
                 4,
                 {15},
                 QStringLiteral("5-14")},
                {QStringLiteral("OCULTA"),
                 data("layout_hidden_sheet.xlsx"),
                 {QStringLiteral("--hoja"), QStringLiteral("2"), QStringLiteral("--quitar-filas"),
                  QStringLiteral("12")},
                 QStringLiteral("Factura"),
                 2,
                 1,
                 {12},
                 QStringLiteral("2-11")},
            };
#ifdef PLANEXO_PDFTEXT_EXE
            cases += QList<Case>{
                {QStringLiteral("MEMBRETE-PDF"),
                 data("layout_letterhead_libreoffice.pdf"),
                 {QStringLiteral("--fila-titulos"), QStringLiteral("auto"), QStringLiteral("--quitar-filas"),
                  QStringLiteral("20-21")},
                 QStringLiteral("Página 1"),
                 1,
                 9,
                 {20, 21},
                 QStringLiteral("10-19")},
                {QStringLiteral("PDF-HOJA"),
                 data("invoice_reportlab_unruled.pdf"),
                 {QStringLiteral("--hoja"), QStringLiteral("todas"), QStringLiteral("--fila-titulos"),
                  QStringLiteral("auto")},
                 QStringLiteral("Página 1"),
                 1,
                 6,
                 {},
                 QStringLiteral("7-16")},
            };
#endif
            for (const Case &c : cases) {
                run = lote(env,
                           QStringList{QStringLiteral("procesar"), QStringLiteral("--interno"), c.shipment,
                                       QStringLiteral("--crear"), c.shipment, QStringLiteral("--archivo"),
                                       c.file, QStringLiteral("--mapeo"), QStringLiteral("propuesto"),
                                       QStringLiteral("--json")} +
                               c.options,
                           locale);
                QVERIFY2(run.status == 0, qPrintable(c.shipment + QStringLiteral(": ") + run.err));
                const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
                QCOMPARE(json.value("hoja").toObject().value("nombre").toString(), c.sheetName);
                QCOMPARE(json.value("hoja").toObject().value("numero").toInt(), c.sheet);
                QCOMPARE(json.value("filaTitulos").toInt(), c.headingRow);
                QCOMPARE(json.value("filasDatos").toString(), c.dataRows);
                QVector<int> removed;
                for (const QJsonValue &v : json.value("filasQuitadas").toArray())
                    removed << v.toInt();
                QCOMPARE(removed, c.removed);
                const QJsonArray filas = json.value("filas").toArray();
                QCOMPARE(filas.size(), kCodes.size());
                QCOMPARE(filas.at(0).toObject().value("fila").toInt(), c.headingRow + 1);
                QCOMPARE(filas.at(9).toObject().value("ARTNRO").toString(), QStringLiteral("TC-7"));
                const QString diff = differences(articleRows(env, c.shipment), reference, columns, true);
                QVERIFY2(diff.isEmpty(), qPrintable(c.shipment + QStringLiteral(": ") + diff));
            }

            // The second round: merged headings, the table at B4, items past a blank row, repeated
            // headings with page lines; the proposed rows removed by "propuestas".
            struct More {
                QString shipment, file;
                QStringList options;
                int stored;
                int removed;
            };
            const QStringList proposedOut = {QStringLiteral("--quitar-filas"), QStringLiteral("propuestas")};
            const QStringList autoRow = {QStringLiteral("--fila-titulos"), QStringLiteral("auto")};
            QList<More> more = {
                {QStringLiteral("B4"), data("layout_b4.xlsx"), autoRow + proposedOut, 10, 1},
                {QStringLiteral("B4-XLS"), data("layout_b4.xls"),
                 QStringList{QStringLiteral("--fila-titulos"), QStringLiteral("b4")} + proposedOut, 10, 1},
                {QStringLiteral("VACIA-DEJADA"), data("layout_blank_row.ods"), {}, 6, 0},
                {QStringLiteral("VACIA-TOMADA"), data("layout_blank_row.ods"),
                 QStringList{QStringLiteral("--seguir-tras-vacias")} + proposedOut, 10, 1},
                {QStringLiteral("REPETIDOS"), data("layout_repeated.xls"), proposedOut, 10, 6},
                {QStringLiteral("COMBINADAS"), data("layout_merged.xlsx"), autoRow + proposedOut, 10, 1},
                {QStringLiteral("COMBINADAS-ODS"), data("layout_merged.ods"), autoRow + proposedOut, 10, 1},
            };
#ifdef PLANEXO_PDFTEXT_EXE
            // Both pages: page 2's items past the page break, its repeated heading, the page footers,
            // the totals and the foot under them.
            more.append({QStringLiteral("PDF-DOS-PAGINAS"), data("invoice_reportlab_ruled.pdf"),
                         QStringList{QStringLiteral("--hoja"), QStringLiteral("todas"),
                                     QStringLiteral("--seguir-tras-vacias")} +
                             proposedOut + autoRow,
                         10, 7});
            // "Total U$S" in the code column, under the blank row below the items.
            more.append({QStringLiteral("PDF-TOTAL-EN-CODIGO"), data("invoice_wkhtmltopdf.pdf"),
                         QStringList{QStringLiteral("--seguir-tras-vacias")} + proposedOut + autoRow, 10, 1});
#endif
            for (const More &m : more) {
                for (bool json : {false, true}) {
                    run =
                        lote(env,
                             QStringList{QStringLiteral("procesar"), QStringLiteral("--interno"), m.shipment,
                                         QStringLiteral("--crear"), m.shipment, QStringLiteral("--archivo"),
                                         m.file, QStringLiteral("--mapeo"), QStringLiteral("propuesto")} +
                                 m.options + (json ? QStringList{QStringLiteral("--json")} : QStringList()),
                             locale);
                    QVERIFY2(run.status == 0, qPrintable(m.shipment + QStringLiteral(": ") + run.err));
                    const QString left =
                        QStringLiteral("Debajo de la fila vacía 8 hay 5 filas con datos que no se "
                                       "cargaron");
                    if (json) {
                        const QJsonObject o = QJsonDocument::fromJson(run.out.toUtf8()).object();
                        QCOMPARE(o.value("filasQuitadas").toArray().size(), m.removed);
                        const QJsonObject notLoaded = o.value("filasSinCargar").toObject();
                        QCOMPARE(notLoaded.value("filas").toInt(), m.stored == 6 ? 5 : 0);
                        QCOMPARE(notLoaded.value("aviso").toString(), m.stored == 6 ? left : QString());
                        if (m.shipment.startsWith(QLatin1String("B4")))
                            QCOMPARE(o.value("primeraColumna").toString(), QStringLiteral("B"));
                    } else {
                        QCOMPARE(
                            run.out.startsWith(left + QStringLiteral(" (--seguir-tras-vacias las carga)\n")),
                            m.stored == 6);
                    }
                    const QString diff =
                        differences(articleRows(env, m.shipment), reference.mid(0, m.stored), columns, true);
                    QVERIFY2(diff.isEmpty(), qPrintable(m.shipment + QStringLiteral(": ") + diff));
                }
            }

            // The table at B4 is remembered with its first column: "recordado" finds it there (the
            // repeated headings' invoice, with the same headings at A1, was remembered last).
            run = lote(env,
                       {QStringLiteral("procesar"), QStringLiteral("--interno"), QStringLiteral("B4"),
                        QStringLiteral("--archivo"), data("layout_b4.xls"), QStringLiteral("--mapeo"),
                        QStringLiteral("propuesto"), QStringLiteral("--fila-titulos"), QStringLiteral("B4"),
                        QStringLiteral("--quitar-filas"), QStringLiteral("propuestas")},
                       locale);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            run = lote(env,
                       {QStringLiteral("procesar"), QStringLiteral("--interno"), QStringLiteral("B4"),
                        QStringLiteral("--archivo"), data("layout_b4.xlsx"), QStringLiteral("--mapeo"),
                        QStringLiteral("recordado"), QStringLiteral("--quitar-filas"),
                        QStringLiteral("propuestas"), QStringLiteral("--json")},
                       locale);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()).object().value("primeraColumna").toString(),
                     QStringLiteral("B"));
            QVERIFY(differences(articleRows(env, QStringLiteral("B4")), reference, columns, true).isEmpty());

            // The letterhead's layout is remembered with its heading row: "recordado" alone finds it.
            run = lote(env,
                       {QStringLiteral("procesar"), QStringLiteral("--interno"), QStringLiteral("MEMBRETE"),
                        QStringLiteral("--archivo"), data("layout_letterhead.xlsx"),
                        QStringLiteral("--mapeo"), QStringLiteral("recordado"),
                        QStringLiteral("--quitar-filas"), QStringLiteral("20-21"), QStringLiteral("--json")},
                       locale);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()).object().value("filaTitulos").toInt(), 9);
            const QString diff =
                differences(articleRows(env, QStringLiteral("MEMBRETE")), reference, columns, true);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
        }
    }

    // What the options cannot use is refused with status 1 and stores nothing.
    void batchRefusesWhatItCannotUse()
    {
        TestEnv env;
        configure(env);
        const QString locale = localeName(false);
        const auto procesar = [&](const QStringList &more) {
            return lote(env,
                        QStringList{QStringLiteral("procesar"), QStringLiteral("--interno"),
                                    QStringLiteral("N-1"), QStringLiteral("--crear"), QStringLiteral("n"),
                                    QStringLiteral("--archivo"), data("layout_hidden_sheet.xlsx"),
                                    QStringLiteral("--mapeo"), QStringLiteral("propuesto")} +
                            more,
                        locale);
        };
        Run run = procesar({QStringLiteral("--hoja"), QStringLiteral("Items")});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral(
                              "La hoja \"Items\" no está en el libro; sus hojas: Tasas (oculta), Factura\n"));
        run = procesar({QStringLiteral("--hoja"), QStringLiteral("3")});
        QCOMPARE(run.status, 1);
        run = procesar({QStringLiteral("--fila-titulos"), QStringLiteral("nueve")});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.startsWith(QStringLiteral("--fila-titulos espera")));
        run = procesar({QStringLiteral("--hoja"), QStringLiteral("2"), QStringLiteral("--quitar-filas"),
                        QStringLiteral("12,30")});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err,
                 QStringLiteral("La fila 30 no es una fila de datos de la hoja (datos: filas 2-11)\n"));
        run = procesar({QStringLiteral("--quitar-filas"), QStringLiteral("doce")});
        QCOMPARE(run.status, 1);
        // The hidden rates sheet maps nothing the proposal knows.
        run = procesar({});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("No hay un mapeo propuesto para los encabezados de esta factura\n"));
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN where INTNRO = 'N-1'")).toInt(), 0);
    }

    // The shipment number as the window stores it: quotes become blanks for the shipment and its
    // articles alike, blanks stay, what the window cannot hold is refused.
    void batchShipmentNumberAsTheWindowStoresIt()
    {
        TestEnv env;
        configure(env);
        const QString locale = localeName(true);
        const auto procesar = [&](const QString &number) {
            return lote(env,
                        {QStringLiteral("procesar"), QStringLiteral("--interno"), number,
                         QStringLiteral("--crear"), QStringLiteral("de 'lote'"), QStringLiteral("--archivo"),
                         data("layout_clean.xlsx"), QStringLiteral("--mapeo"), QStringLiteral("propuesto")},
                        locale);
        };
        Run run = procesar(QStringLiteral("H'2"));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("select INTDSC from INTN where INTNRO = 'H 2'")).toString(),
                 QStringLiteral("de  lote "));
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = 'H 2'")).toInt(), 10);
        QCOMPARE(env.scalar(QStringLiteral(
                                "select count(*) from ART where INTNRO not in (select INTNRO from INTN)"))
                     .toInt(),
                 0);
        // The same number again finds the same shipment; transferir finds it too (and refuses
        // only for the rows to review).
        run = procesar(QStringLiteral("H'2"));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        run = lote(env, {QStringLiteral("transferir"), QStringLiteral("--interno"), QStringLiteral("H'2")},
                   locale);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Hay registros para depurar")), qPrintable(run.err));
        // corregir finds the same shipment by the same number.
        run = lote(env,
                   {QStringLiteral("corregir"), QStringLiteral("--interno"), QStringLiteral("H'2"),
                    QStringLiteral("--filas"), QStringLiteral("1"), QStringLiteral("--estado"),
                    QStringLiteral("1")},
                   locale);
        QVERIFY2(run.status != 2 && !run.err.contains(QStringLiteral("no existe")), qPrintable(run.err));

        run = procesar(QStringLiteral(" 12 "));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = ' 12 '")).toInt(), 10);

        const int shipments = env.scalar(QStringLiteral("select count(*) from INTN")).toInt();
        run = procesar(QStringLiteral("   "));
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("Debe ingresar el número interno\n"));
        run = procesar(QStringLiteral("A\tB"));
        QCOMPARE(run.status, 1);
#ifndef Q_OS_WIN // a Windows command line holds at most 32767 characters in all
        run = procesar(QString(32768, QLatin1Char('9')));
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.startsWith(QStringLiteral("El número de interno tiene más de 32767 caracteres")));
        // The longest number the window takes is stored whole.
        run = procesar(QString(32767, QLatin1Char('7')));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN")).toInt(), shipments + 1);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where length(INTNRO) = 32767")).toInt(),
                 10);
#else
        Q_UNUSED(shipments);
#endif
        QCOMPARE(env.scalar(QStringLiteral(
                                "select count(*) from ART where INTNRO not in (select INTNRO from INTN)"))
                     .toInt(),
                 0);
    }

    // "Examinar" opens where the last workbook was, else in the documents folder when it exists,
    // else in the home folder, with no file name.
    // A scanned, a protected and a damaged PDF, and one whose reader crashes, each say so in the
    // window; the grid loaded before stays as it was, and so does the work database.
    void pdfRefusalsInTheWindow()
    {
#ifndef PLANEXO_PDFTEXT_EXE
        QSKIP("planexo-pdftext is not built (poppler's C++ library was not found)");
#endif
        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        examinar(w, script, data("invoice_wkhtmltopdf.pdf"));
        const QStringList loaded = gridTexts(w.fram2()->model());
        QCOMPARE(loaded.first(), QStringLiteral("Comercial Andina Ltda."));
        const auto failure = [](const char *description) {
            return QStringLiteral("1004 - ") + QString::fromUtf8(description) +
                   QStringLiteral("\r\n\r\nSeccion [Quintora.frmCFGExcel.lf_LevantarExcel] linea 100");
        };
        examinar(w, script, data("scanned.pdf"), false,
                 failure("El PDF no tiene texto: es una imagen escaneada"));
        examinar(w, script, data("encrypted.pdf"), false, failure("El libro está protegido con contraseña"));
        examinar(w, script, data("damaged.pdf"), false, failure("El libro está dañado: no es un PDF válido"));
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("factura.pdf"));
        QVERIFY(QFile::copy(data("invoice_reportlab_unruled.pdf"), copy));
        const QByteArray helper = qgetenv("PLANEXO_PDFTEXT");
        qputenv("PLANEXO_PDFTEXT",
                QFile::encodeName(QCoreApplication::applicationFilePath()) + "-sin-lector");
        examinar(w, script, copy, false,
                 QStringLiteral("1004 - No se encuentra el lector de PDF %1-sin-lector\r\n\r\n"
                                "Seccion [Quintora.frmCFGExcel.lf_LevantarExcel] linea 100")
                     .arg(QDir::toNativeSeparators(QCoreApplication::applicationFilePath())));
        qputenv("PLANEXO_PDFTEXT", helper);
        VERIFY_SCRIPT(script);
        QCOMPARE(gridTexts(w.fram2()->model()), loaded);
        QVERIFY(articleRows(env, kShipment).isEmpty());
        QVERIFY(w.isVisible());
    }

    // planexo-lote takes a PDF's page by its number (its SUBTOTAL and TOTAL rows left out); a page
    // past the last is refused naming them.
    void batchReadsAPdfPage()
    {
#ifndef PLANEXO_PDFTEXT_EXE
        QSKIP("planexo-pdftext is not built (poppler's C++ library was not found)");
#endif
        TestEnv env;
        configure(env);
        const auto procesar = [&](const QString &page) {
            return lote(env,
                        {QStringLiteral("procesar"), QStringLiteral("--interno"), QStringLiteral("PAGINA"),
                         QStringLiteral("--crear"), QStringLiteral("pagina"), QStringLiteral("--archivo"),
                         data("invoice_reportlab_ruled.pdf"), QStringLiteral("--hoja"), page,
                         QStringLiteral("--quitar-filas"), QStringLiteral("6-7"), QStringLiteral("--mapeo"),
                         QStringLiteral("propuesto"), QStringLiteral("--json")},
                        localeName(true));
        };
        Run run = procesar(QStringLiteral("3"));
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("sus hojas: Páginas 1-2, Página 1, Página 2")),
                 qPrintable(run.err));
        run = procesar(QStringLiteral("2"));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(json.value("hoja").toObject().value("nombre").toString(), QStringLiteral("Página 2"));
        QCOMPARE(json.value("filasDatos").toString(), QStringLiteral("2-5"));
        QStringList codes;
        for (const QVariantList &row : articleRows(env, QStringLiteral("PAGINA")))
            codes << row.at(2).toString();
        QCOMPARE(codes, kCodes.mid(6));
    }

    void examinarOpensInAFolderThatExists()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows finds the documents folder through the shell, not through HOME");
#endif
        QTemporaryDir home;
        const QByteArray previousHome = qgetenv("HOME");
        const QByteArray previousDirs = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
        struct Restore {
            QByteArray home, dirs;
            ~Restore()
            {
                qputenv("HOME", home);
                dirs.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", dirs);
            }
        } restore{previousHome, previousDirs};

        TestEnv env;
        configure(env);
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        w.show();
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("cmdSiguiente")), Qt::LeftButton);
        script.expectOpenFile(kFilter, QString());
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
        QCOMPARE(script.lastOpenFileFolder(), QDir::homePath());
        QCOMPARE(QDir::homePath(), QDir(home.path()).absolutePath());

        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Documents")));
        examinar(w, script, data("layout_clean.xlsx"), false);
        QCOMPARE(script.lastOpenFileFolder(), home.filePath(QStringLiteral("Documents")));
        examinar(w, script, data("layout_clean.xlsx"), false);
        QCOMPARE(script.lastOpenFileFolder(), QFileInfo(data("layout_clean.xlsx")).absolutePath());
        VERIFY_SCRIPT(script);
    }
};

QTEST_MAIN(TestLayouts)
#include "test_layouts.moc"
