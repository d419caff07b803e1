// The control printouts: the report's layout and pagination, its number formats in both locales,
// the two queries, the previews' modality, paging and PDF export, and the failure report; the demo
// invoice rendered to PDF.
#include "common/RecordingProgress.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/ProcessDriver.h"
#include "shared/Progress.h"
#include "shared/Settings.h"
#include "shared/SharedState.h"
#include "ui/app/Translations.h"
#include "ui/process/ControlPrintouts.h"
#include "ui/process/ReportPreview.h"
#include "ui/process/Reporte.h"
#include "ui/process/ResultsPanel.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using Icon = Interaction::Icon;
using Buttons = Interaction::Buttons;
using Answer = Interaction::Answer;
using Item = Reporte::Item;
namespace fl = fieldlabels;

namespace {

const QString kShipment = QStringLiteral("T1");
const QString kNoPrinter =
    QStringLiteral("No hay ninguna impresora instalada.\n\n¿Desea exportar el informe a PDF?");
constexpr int kLetterBody = 14400; // 10 inches of printable height

// Inserts an article row; numbers as SQL literals, "null" for none.
void insertRow(TestEnv &env, int order, const QString &code, const QString &est, const QString &crc,
               const QString &can = "1", const QString &uni = "1", const QString &eca = "null",
               const QString &shipment = kShipment)
{
    auto quoted = [](const QString &s) { return s == "null" ? s : "'" + s + "'"; };
    env.exec(QString("insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTORG, ARTCAN, ARTUNI, ARTTOT, "
                     "PRCNCM, PRCSUF, PRCDUN, PRCEUN, PRCECA, PRCESM, PRCORI, PRCEST, PRCCRC) values "
                     "('%1', %2, '%3', 'DESC %3', '310', %4, %5, 11, '8205.20.00.000K', 'AA(X)-AB(%3)', "
                     "'07', '07', %6, '1', '310', %7, %8)")
                 .arg(shipment)
                 .arg(order)
                 .arg(code, can, uni, eca, quoted(est), quoted(crc)));
}

QStringList codesOf(const QVector<Reporte::Row> &rows)
{
    QStringList codes;
    for (const auto &row : rows)
        codes << row.fields.value(0);
    return codes;
}

QVector<Reporte::Row> query(const QString &statement)
{
    Recordset rs;
    shared().gestor->Sql = statement;
    shared().gestor->CrearRs(rs);
    return Reporte::rowsFrom(rs);
}

Reporte::Row sampleRow(int n)
{
    Reporte::Row row;
    for (int c = 0; c < 14; ++c)
        row.fields << QStringLiteral("r%1c%2").arg(n).arg(c);
    row.suffix = QStringLiteral("suf%1").arg(n);
    return row;
}

Reporte reportOf(int rows)
{
    QVector<Reporte::Row> list;
    for (int i = 1; i <= rows; ++i)
        list << sampleRow(i);
    return Reporte(list);
}

const Item *find(const Reporte::Layout &layout, int page, const QString &text)
{
    for (const Item &item : layout.items)
        if (item.page == page && !item.rule && item.text == text) return &item;
    return nullptr;
}

QStringList textsOnPage(const Reporte::Layout &layout, int page)
{
    QStringList texts;
    for (const Item &item : layout.items)
        if (item.page == page && !item.rule) texts << item.text;
    return texts;
}

// Pages of a PDF written by Qt: one "/Type /Page" object each.
int pdfPages(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return int(QString::fromLatin1(f.readAll()).count(page));
}

void printPdf(const Reporte &report, const QString &file)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    Reporte::preparePrinter(printer);
    report.print(&printer);
}

} // namespace

class TestPrintouts : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { TestEnv::usePoint(); }

    void pageHeaderAndFooter();
    void detailLines();
    void pagination_data();
    void pagination();
    void numberFormats_data();
    void numberFormats();
    void queries();
    void errorReportSelectionAndOrder();
    void okReportSelection();
    void nothingToShow();
    void errorPreviewIsModal();
    void okPreviewIsNotModal();
    void failingQuery_data();
    void failingQuery();
    void previewPagingZoomPrintAndExport();
    void printWithoutPrinterOffersPdf();
    void pdfFolderIsRemembered();
    void pdfFileNames_data();
    void pdfFileNames();
    void spanishPreviewAndOverwriteQuestion();
    void pdfPagesMatchLayout();
    void demoInvoiceReports();
    void textsShrinkBeforeTheyAreCut();
};

// ---------------------------------------------------------------- layout

void TestPrintouts::pageHeaderAndFooter()
{
    const Reporte::Layout layout = reportOf(1).layout(kLetterBody);
    QCOMPARE(layout.pages, 1);

    const Item *archivo = find(layout, 1, "Desde Archivo");
    const Item *proceso = find(layout, 1, "Proceso o Depuración");
    QVERIFY(archivo && proceso);
    QCOMPARE(archivo->left, 71);
    QCOMPARE(archivo->width, 5457);
    QCOMPARE(proceso->left, 5598);
    QCOMPARE(proceso->width, 4110);
    QVector<QPair<int, int>> rules;
    for (const Item &item : layout.items)
        if (item.rule) {
            rules << qMakePair(item.left, item.width);
            QVERIFY(item.top > archivo->top && item.top <= archivo->top + archivo->height + 60);
        }
    QCOMPARE(rules, (QVector<QPair<int, int>>{{71, 5457}, {5598, 4465}}));

    // Column headings: the fields' positions, but "Unitario" starts earlier and is wider.
    const struct {
        const char *heading;
        int left, width;
    } headings[] = {{"Articulo", 71, 850},     {"Descripcion", 992, 1701}, {"Pais", 2764, 354},
                    {"Cantidad", 3189, 709},   {"Unitario", 3968, 780},    {"Total", 4819, 709},
                    {"Posición", 5598, 1277},  {"Declar", 6945, 566},      {"Estadis", 7583, 567},
                    {"Estad Cant", 8221, 850}, {"Merc", 9142, 425},        {"Orig", 9638, 425},
                    {"Modo", 10135, 425},      {"Estad", 10631, 496}};
    int headingTop = -1;
    for (const auto &h : headings) {
        const Item *item = find(layout, 1, QString::fromUtf8(h.heading));
        QVERIFY2(item, h.heading);
        QCOMPARE(item->left, h.left);
        QCOMPARE(item->width, h.width);
        QVERIFY(item->bold);
        if (headingTop < 0) headingTop = item->top;
        QCOMPARE(item->top, headingTop);
    }
    QVERIFY(headingTop > archivo->top + archivo->height);
    QVERIFY(headingTop + Reporte::kLineHeight <= Reporte::kHeaderHeight);

    // Footer: "Pagina" n "de" total at the bottom of the page, on one line.
    const Item *pagina = find(layout, 1, "Pagina");
    const Item *de = find(layout, 1, "de");
    QVERIFY(pagina && de);
    QCOMPARE(pagina->left, 8861);
    QCOMPARE(de->left, 10349);
    QCOMPARE(de->top, pagina->top);
    QVERIFY(pagina->top >= kLetterBody - Reporte::kFooterHeight);
    QVERIFY(pagina->top + pagina->height <= kLetterBody);
    int numbers = 0;
    for (const Item &item : layout.items)
        if (item.top == pagina->top && item.text == "1") {
            QVERIFY(item.left == 9995 || item.left == 10703);
            ++numbers;
        }
    QCOMPARE(numbers, 2);
}

void TestPrintouts::detailLines()
{
    Reporte::Row row;
    row.fields = QStringList{"MT-500", "MARTILLO", "310", "04,00", "02,7500", "11,00", "8205.20.00.000K",
                             "07",     "07",       "",    "1",     "310",     "A",     "OK"};
    row.suffix = "AA(GENERICA)-AB(MT 500)-JD01";
    const Reporte::Layout layout = Reporte({row, row}).layout(kLetterBody);

    const int lefts[] = {71, 992, 2764, 3189, 4039, 4819, 5598, 6945, 7583, 8221, 9142, 9638, 10135, 10631};
    const int widths[] = {850, 1701, 354, 709, 709, 709, 1277, 566, 567, 850, 425, 425, 425, 496};
    QVector<const Item *> first;
    for (const Item &item : layout.items)
        if (item.top == Reporte::kHeaderHeight) first << &item;
    QCOMPARE(first.size(), 14);
    for (int c = 0; c < 14; ++c) {
        QCOMPARE(first[c]->text, row.fields[c]);
        QCOMPARE(first[c]->left, lefts[c]);
        QCOMPARE(first[c]->width, widths[c]);
        QVERIFY(!first[c]->bold);
        // Numbers align right under their headings, texts left.
        const bool number = c == 3 || c == 4 || c == 5 || c == 9;
        QCOMPARE(bool(first[c]->align & Qt::AlignRight), number);
    }

    // The suffix text on the second line, and the next row below both.
    int suffixes = 0;
    for (const Item &item : layout.items)
        if (item.text == row.suffix) {
            QCOMPARE(item.left, 71);
            QCOMPARE(item.width, 9015);
            QCOMPARE(item.top,
                     Reporte::kHeaderHeight + suffixes * Reporte::kDetailHeight + Reporte::kLineHeight);
            ++suffixes;
        }
    QCOMPARE(suffixes, 2);
    QVERIFY(Reporte::kDetailHeight >= 2 * Reporte::kLineHeight);
}

// clang-format off
void TestPrintouts::pagination_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    // 10 inches less header and footer hold 26 rows of 510 twips.
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("full page") << 26 << 1;
    QTest::newRow("one more") << 27 << 2;
    QTest::newRow("two full") << 52 << 2;
    QTest::newRow("three") << 53 << 3;
    QTest::newRow("many") << 1000 << 39;
}
// clang-format on

void TestPrintouts::pagination()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    const Reporte::Layout layout = reportOf(rows).layout(kLetterBody);
    QCOMPARE(layout.rowsPerPage, 26);
    QCOMPARE(layout.pages, pages);

    const QString total = QString::number(pages);
    int details = 0;
    for (int page = 1; page <= pages; ++page) {
        const QStringList texts = textsOnPage(layout, page);
        QVERIFY(texts.contains("Desde Archivo"));
        QVERIFY(texts.contains("Estad Cant"));
        // "Pagina" page "de" total, in this order on the page.
        const int at = int(texts.indexOf("Pagina"));
        QVERIFY(at >= 0);
        QCOMPARE(texts.mid(at, 4), (QStringList{"Pagina", QString::number(page), "de", total}));
        const int onPage = int(texts.filter(QRegularExpression("^suf\\d+$")).size());
        QCOMPARE(onPage, std::min(26, rows - details));
        // Rows continue where the previous page stopped.
        if (onPage) QVERIFY(texts.contains(QStringLiteral("suf%1").arg(details + 1)));
        details += onPage;
    }
    QCOMPARE(details, rows);
    QVERIFY(textsOnPage(layout, pages + 1).isEmpty());

    // Nothing of a detail reaches into the footer.
    const Item *pagina = find(layout, 1, "Pagina");
    for (const Item &item : layout.items)
        if (item.text.startsWith("suf") || item.text.startsWith("r"))
            QVERIFY(item.top + item.height <= pagina->top);

    // A page too short for even one row still advances one row per page.
    QCOMPARE(reportOf(3).layout(100).pages, 3);
}

// ---------------------------------------------------------------- formats and queries

// clang-format off
void TestPrintouts::numberFormats_data()
{
    QTest::addColumn<bool>("comma");
    QTest::newRow("comma") << true;
    QTest::newRow("point") << false;
}
// clang-format on

void TestPrintouts::numberFormats()
{
    QFETCH(bool, comma);
    comma ? TestEnv::useComma() : TestEnv::usePoint();
    TestEnv env;
    env.connect();
    insertRow(env, 1, "A", "A", "OK", "4", "2.75", "null");
    insertRow(env, 2, "B", "A", "OK", "123.456", "0.00005", "7.125");
    env.exec("update ART set PRCDUN = '00.5', ARTDSC = '12.5' where ARTORD = 2");
    const auto rows = query(ControlPrintouts::okQuery(kShipment) + " order by ARTORD");
    QCOMPARE(rows.size(), 2);

    auto sep = [comma](QString s) { return comma ? s.replace('.', ',') : s; };
    const QStringList a = rows[0].fields;
    QCOMPARE(a.size(), 14);
    QCOMPARE(a[3], sep("04.00"));
    QCOMPARE(a[4], sep("02.7500"));
    QCOMPARE(a[5], sep("11.00"));
    QCOMPARE(a[9], QString()); // no statistical quantity
    QCOMPARE(rows[0].suffix, QString("AA(X)-AB(A)"));
    QCOMPARE(a[0], QString("A"));
    QCOMPARE(a[6], QString("8205.20.00.000K"));
    QCOMPARE(a[12], QString("A"));
    QCOMPARE(a[13], QString("OK"));

    const QStringList b = rows[1].fields;
    QCOMPARE(b[3], sep("123.46"));
    QCOMPARE(b[4], sep("00.0001"));
    QCOMPARE(b[9], sep("07.13"));
    // Texts that look like numbers print as they are.
    QCOMPARE(b[1], QString("12.5"));
    QCOMPARE(b[7], QString("00.5"));
}

void TestPrintouts::queries()
{
    QCOMPARE(ControlPrintouts::errorQuery("T1"),
             QString("select * from ART where INTNRO = 'T1' and (PRCEST = '' or PRCEST IS NULL or "
                     "PRCCRC <> 'OK' or PRCCRC is null) order by PRCEST,PRCCRC,ARTORD"));
    QCOMPARE(ControlPrintouts::okQuery("T1"),
             QString("select * from ART where INTNRO = 'T1' and PRCCRC = 'OK'"));
    QCOMPARE(ControlPrintouts::okQuery("O'Neil"),
             QString("select * from ART where INTNRO = 'O''Neil' and PRCCRC = 'OK'"));
}

void TestPrintouts::errorReportSelectionAndOrder()
{
    TestEnv env;
    env.connect();
    insertRow(env, 1, "ok", "A", "OK");
    insertRow(env, 2, "pos", "E", "POS");
    insertRow(env, 3, "new-null", "null", "null");
    insertRow(env, 4, "suf", "E", "SUF");
    insertRow(env, 5, "new-empty", "", "null");
    insertRow(env, 6, "m-ok", "M", "OK");
    insertRow(env, 7, "err", "E", "ERR");
    insertRow(env, 8, "a-null", "A", "null");
    insertRow(env, 9, "empty-ok", "", "OK");
    insertRow(env, 10, "pos2", "E", "POS");
    insertRow(env, 1, "other", "E", "POS", "1", "1", "null", "T2");

    const auto rows = query(ControlPrintouts::errorQuery(kShipment));
    // Null states first, then by state, result and row order.
    QCOMPARE(codesOf(rows),
             (QStringList{"new-null", "new-empty", "empty-ok", "a-null", "err", "pos", "pos2", "suf"}));
}

void TestPrintouts::okReportSelection()
{
    TestEnv env;
    env.connect();
    insertRow(env, 1, "ok", "A", "OK");
    insertRow(env, 2, "pos", "E", "POS");
    insertRow(env, 3, "new", "null", "null");
    insertRow(env, 4, "m-ok", "M", "OK");
    insertRow(env, 5, "ok-lower", "A", "ok");
    insertRow(env, 1, "other", "A", "OK", "1", "1", "null", "T2");
    QStringList codes = codesOf(query(ControlPrintouts::okQuery(kShipment)));
    codes.sort();
    QCOMPARE(codes, (QStringList{"m-ok", "ok"}));
}

// ---------------------------------------------------------------- the two buttons

void TestPrintouts::nothingToShow()
{
    TestEnv env;
    env.connect();
    shared().sInternoActual = kShipment;
    insertRow(env, 1, "a", "A", "OK");
    insertRow(env, 2, "b", "M", "OK");
    ResultsPanel panel;
    ScriptedInteraction script;

    // Every row OK: nothing for the error report.
    script.expectMessage("No hay articulos para mostrar", Icon::Information);
    panel.findChild<QPushButton *>("FRAM3_cmdRepErr")->click();
    VERIFY_SCRIPT(script);

    // No row OK: nothing for the OK report, and no preview left behind.
    env.exec("update ART set PRCCRC = 'SUF'");
    script.expectMessage("No hay articulos para mostrar", Icon::Information);
    panel.findChild<QPushButton *>("FRAM3_cmdRepOK")->click();
    VERIFY_SCRIPT(script);
    QVERIFY(!panel.findChild<ReportPreview *>());

    // Another shipment's rows do not count.
    shared().sInternoActual = "T9";
    script.expectMessage("No hay articulos para mostrar", Icon::Information);
    panel.findChild<QPushButton *>("FRAM3_cmdRepErr")->click();
    VERIFY_SCRIPT(script);
}

void TestPrintouts::errorPreviewIsModal()
{
    TestEnv env;
    env.connect();
    shared().sInternoActual = kShipment;
    for (int i = 1; i <= 60; ++i)
        insertRow(env, i, QString("E%1").arg(i), "E", "POS");
    insertRow(env, 61, "fine", "A", "OK");
    ResultsPanel panel;
    ScriptedInteraction script;
    int previewPages = -1, layoutPages = -1;
    QString title;
    script.expectModal("Reporte", [&](QDialog &d) {
        auto *preview = qobject_cast<ReportPreview *>(&d);
        if (!preview) return 0;
        title = d.windowTitle();
        d.show();
        previewPages = preview->pageView()->pageCount();
        const QRectF body = preview->printer()->pageLayout().paintRect(QPageLayout::Inch);
        layoutPages = reportOf(60).layout(int(body.height() * 1440)).pages;
        d.reject();
        return d.result();
    });
    panel.findChild<QPushButton *>("FRAM3_cmdRepErr")->click();
    VERIFY_SCRIPT(script);
    QCOMPARE(title, QString("Datos con Errores"));
    QCOMPARE(layoutPages, 3);
    QCOMPARE(previewPages, layoutPages);
    // The modal preview is gone once it returns.
    QVERIFY(!panel.findChild<ReportPreview *>());
}

void TestPrintouts::okPreviewIsNotModal()
{
    TestEnv env;
    env.connect();
    shared().sInternoActual = kShipment;
    insertRow(env, 1, "a", "A", "OK");
    insertRow(env, 2, "b", "E", "SUF");
    ResultsPanel panel;
    panel.show();
    ScriptedInteraction script; // no modal window is expected
    panel.findChild<QPushButton *>("FRAM3_cmdRepOK")->click();
    VERIFY_SCRIPT(script);

    QPointer<ReportPreview> preview = panel.findChild<ReportPreview *>("Reporte");
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QVERIFY(!preview->isModal());
    QCOMPARE(preview->windowModality(), Qt::NonModal);
    QCOMPARE(preview->windowTitle(), QString("Registros OK"));
    QCOMPARE(preview->pageView()->pageCount(), 1);
    // The main window still takes clicks: a second report opens beside the first.
    panel.findChild<QPushButton *>("FRAM3_cmdRepOK")->click();
    QCOMPARE(panel.findChildren<ReportPreview *>().size(), 2);

    preview->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(preview.isNull());
    QCOMPARE(panel.findChildren<ReportPreview *>().size(), 1);
    VERIFY_SCRIPT(script);
}

// clang-format off
void TestPrintouts::failingQuery_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("procedure");
    QTest::newRow("errors") << "FRAM3_cmdRepErr" << "FRAM3_cmdRepErr_Click";
    QTest::newRow("ok") << "FRAM3_cmdRepOK" << "FRAM3_cmdRepOK_Click";
}
// clang-format on

void TestPrintouts::failingQuery()
{
    QFETCH(QString, button);
    QFETCH(QString, procedure);
    TestEnv env;
    env.connect();
    shared().sInternoActual = kShipment;
    env.exec("drop table ART");
    QString expected;
    try {
        query(ControlPrintouts::okQuery(kShipment));
        QFAIL("the query must fail without its table");
    } catch (const PlanexoError &e) {
        expected = standardMessage(e, " - seccion [Planexo.frmMain." + procedure + "]");
    }
    QVERIFY(expected.contains("ART"));
    QVERIFY(expected.contains("\r\n\r\n"));
    ResultsPanel panel;
    ScriptedInteraction script;
    script.expectMessage(expected, Icon::Critical);
    panel.findChild<QPushButton *>(button)->click();
    VERIFY_SCRIPT(script);
    QVERIFY(!panel.findChild<ReportPreview *>());
}

// ---------------------------------------------------------------- the preview window

// The error report of 60 rows (3 pages) through the button: the preview paints only the pages in
// view, pages through them, zooms, and its print dialog and PDF export go through the interaction.
void TestPrintouts::previewPagingZoomPrintAndExport()
{
    TestEnv env;
    env.connect();
    shared().sInternoActual = "T1/2026";
    for (int i = 1; i <= 60; ++i)
        insertRow(env, i, QString("E%1").arg(i), "E", "POS", "1", "1", "null", "T1/2026");
    QTemporaryDir out;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString exported = out.filePath("errores.pdf");
    const QString printed = out.filePath("impreso.pdf");
    ResultsPanel panel;
    ScriptedInteraction script;

    struct Seen {
        int pages = 0, paintedAtOpen = 0, paintedAfterLast = 0, overviewVisible = 0;
        int currentAfterLast = 0, currentAfterPrev = 0, currentTyped = 0;
        QString pageText, totalText, zoomText;
        double fitZoom = 0, zoomedIn = 0;
        bool fitPageChecked = false, customAfterZoom = false, exported = false, printed = false;
        QList<int> visibleAtOpen;
    } seen;
    auto trigger = [](QDialog &d, const char *name) { d.findChild<QAction *>(name)->trigger(); };

    script.expectModal("Reporte", [&](QDialog &d) {
        auto *preview = qobject_cast<ReportPreview *>(&d);
        if (!preview) return 0;
        ReportPageView *view = preview->pageView();
        d.show();
        const QPixmap shot = d.grab();
        // Kept in $PRINTOUTS_PDF_DIR when set, to look at.
        if (qEnvironmentVariableIsSet("PRINTOUTS_PDF_DIR"))
            shot.save(qEnvironmentVariable("PRINTOUTS_PDF_DIR") + "/preview.png");
        seen.pages = view->pageCount();
        seen.paintedAtOpen = view->paintedPages();
        seen.visibleAtOpen = view->visiblePages();
        seen.fitPageChecked = d.findChild<QAction *>("fitPageAction")->isChecked();
        seen.fitZoom = view->zoomFactor();
        seen.totalText = d.findChild<QLabel *>("ReporteTotalPaginas")->text();

        trigger(d, "lastPageAction");
        d.grab();
        seen.currentAfterLast = view->currentPage();
        seen.pageText = d.findChild<QLineEdit *>("ReportePagina")->text();
        seen.paintedAfterLast = view->paintedPages();
        trigger(d, "prevPageAction");
        seen.currentAfterPrev = view->currentPage();
        auto *page = d.findChild<QLineEdit *>("ReportePagina");
        page->setText("1");
        QTest::keyClick(page, Qt::Key_Return);
        seen.currentTyped = view->currentPage();

        trigger(d, "zoomInAction");
        seen.zoomedIn = view->zoomFactor();
        seen.customAfterZoom = view->zoomMode() == ReportPageView::ZoomMode::Custom &&
                               !d.findChild<QAction *>("fitPageAction")->isChecked();
        seen.zoomText = d.findChild<QComboBox *>("ReporteZoom")->currentText();
        trigger(d, "overviewModeAction");
        d.grab();
        seen.overviewVisible = int(view->visiblePages().size());
        trigger(d, "singleModeAction");

        seen.exported = preview->exportPdf();
        seen.printed = preview->print();
        d.reject();
        return d.result();
    });
    script.expectSaveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf",
                          QDir(documents).filePath("Datos con Errores T1-2026.pdf"), exported);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer: the operator is told so and takes the PDF instead, in the folder just used.
        script.expectMessage(kNoPrinter, Icon::Exclamation, Buttons::YesNo, Answer::Yes);
        script.expectSaveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf",
                              out.filePath("Datos con Errores T1-2026.pdf"), printed);
    } else {
        script.expectModal("ReporteImprimir", [&](QDialog &d) {
            // The operator chose a printer; here it is a file.
            QPrinter *printer = static_cast<QPrintDialog &>(d).printer();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(printed);
            d.done(QDialog::Accepted);
            return int(QDialog::Accepted);
        });
    }
    panel.findChild<QPushButton *>("FRAM3_cmdRepErr")->click();
    VERIFY_SCRIPT(script);

    QCOMPARE(seen.pages, 3);
    QCOMPARE(seen.totalText.trimmed(), QString("/ 3"));
    // A whole page in view, and only it painted.
    QVERIFY(seen.fitPageChecked);
    QCOMPARE(seen.visibleAtOpen, QList<int>{1});
    QCOMPARE(seen.paintedAtOpen, 1);
    QCOMPARE(seen.currentAfterLast, 3);
    QCOMPARE(seen.pageText, QString("3"));
    QCOMPARE(seen.paintedAfterLast, 2);
    QCOMPARE(seen.currentAfterPrev, 2);
    QCOMPARE(seen.currentTyped, 1);
    QVERIFY(qAbs(seen.zoomedIn - seen.fitZoom * 1.25) < 1e-9);
    QVERIFY(seen.customAfterZoom);
    QCOMPARE(seen.zoomText, QString::number(std::round(seen.zoomedIn * 1000) / 10) + "%");
    QCOMPARE(seen.overviewVisible, 3);

    QVERIFY(seen.exported);
    QCOMPARE(pdfPages(exported), 3);
    QCOMPARE(settings::lastPdfFolder(), out.path());
    QVERIFY(seen.printed);
    QCOMPARE(pdfPages(printed), 3);
}

// With no printer installed, "Imprimir" says so instead of doing nothing; declining the PDF or
// cancelling its file dialog prints nothing and writes nothing.
void TestPrintouts::printWithoutPrinterOffersPdf()
{
    if (!QPrinterInfo::availablePrinters().isEmpty()) QSKIP("a printer is installed here");
    TestEnv env;
    QTemporaryDir out;
    settings::setLastPdfFolder(out.path());
    ReportPreview preview(reportOf(1), "Registros OK", "T1");
    ScriptedInteraction script;
    script.expectMessage(kNoPrinter, Icon::Exclamation, Buttons::YesNo, Answer::No);
    preview.findChild<QAction *>("printAction")->trigger();
    VERIFY_SCRIPT(script);
    script.expectMessage(kNoPrinter, Icon::Exclamation, Buttons::YesNo, Answer::Yes);
    script.expectSaveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf",
                          out.filePath("Registros OK T1.pdf"), QString());
    QVERIFY(!preview.print());
    VERIFY_SCRIPT(script);
    QVERIFY(QDir(out.path()).isEmpty());
}

// The export proposes the last folder used, falls back to the documents folder when that folder
// is gone, keeps the folder when cancelled, and reports a file it cannot write.
void TestPrintouts::pdfFolderIsRemembered()
{
    TestEnv env;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QTemporaryDir out;
    QDir(out.path()).mkpath("a");
    const QString a = out.filePath("a");
    ReportPreview preview(reportOf(60), "Registros OK", "T1");
    ScriptedInteraction script;

    script.expectSaveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf",
                          QDir(documents).filePath("Registros OK T1.pdf"), a + "/uno.pdf");
    QVERIFY(preview.exportPdf());
    QCOMPARE(pdfPages(a + "/uno.pdf"), 3);
    QCOMPARE(settings::lastPdfFolder(), a);
    // "Examinar" keeps its own folder.
    QVERIFY(settings::lastFolder() != a);

    script.expectSaveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf", a + "/Registros OK T1.pdf",
                          QString());
    QVERIFY(!preview.exportPdf());
    QCOMPARE(settings::lastPdfFolder(), a);

    const QString missing = out.filePath("no/such/folder/dos.pdf");
    script.expectSaveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf", a + "/Registros OK T1.pdf",
                          missing);
    script.expectMessage("No se pudo guardar el archivo " + QDir::toNativeSeparators(missing),
                         Icon::Critical);
    QVERIFY(!preview.exportPdf());
    VERIFY_SCRIPT(script);

    QVERIFY(QDir(a).removeRecursively());
    script.expectSaveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf",
                          QDir(documents).filePath("Registros OK T1.pdf"), QString());
    QVERIFY(!preview.exportPdf());
    VERIFY_SCRIPT(script);
}

// clang-format off
void TestPrintouts::pdfFileNames_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shipment");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "Registros OK" << "IN-0042" << "Registros OK IN-0042.pdf";
    QTest::newRow("slashes and colon") << "Datos con Errores" << "2026/07:A\\B" << "Datos con Errores 2026-07-A-B.pdf";
    QTest::newRow("reserved") << "Registros OK" << "a*b?c\"d<e>f|g" << "Registros OK a-b-c-d-e-f-g.pdf";
    QTest::newRow("trailing dots") << "Registros OK" << "X.." << "Registros OK X.pdf";
    QTest::newRow("no shipment") << "Registros OK" << "" << "Registros OK.pdf";
    QTest::newRow("accents stay") << "Datos con Errores" << "Año Ñ" << "Datos con Errores Año Ñ.pdf";
}
// clang-format on

void TestPrintouts::pdfFileNames()
{
    QFETCH(QString, caption);
    QFETCH(QString, shipment);
    QFETCH(QString, name);
    QCOMPARE(ReportPreview::pdfFileName(caption, shipment), name);
}

// In a Spanish locale the preview's commands speak Spanish, and the real save dialog asks, in
// Spanish, before it replaces a file.
void TestPrintouts::spanishPreviewAndOverwriteQuestion()
{
    TestEnv env;
    QVERIFY(installQtTranslations(QLocale(QLocale::Spanish, QLocale::Argentina)));
    {
        ReportPreview preview(reportOf(1), "Registros OK", "T1");
        QCOMPARE(preview.findChild<QAction *>("printAction")->text(), QString("Imprimir"));
        QCOMPARE(preview.findChild<QAction *>("nextPageAction")->text(), QString("Página siguiente"));
        QCOMPARE(preview.findChild<QAction *>("fitWidthAction")->text(), QString("Ajustar ancho"));
        QCOMPARE(preview.findChild<QAction *>("pdfAction")->text(), QString("Exportar a PDF"));
    }

    QTemporaryDir out;
    const QString existing = out.filePath("Registros OK T1.pdf");
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QString question, yes, title;
    QTimer::singleShot(0, [&] {
        QFileDialog *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible()) dialog = d;
        if (!dialog) return;
        title = dialog->windowTitle();
        QTimer::singleShot(0, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                    question = box->text();
                    yes = box->button(QMessageBox::Yes)->text();
                    box->button(QMessageBox::Yes)->click();
                }
        });
        static_cast<QDialog *>(dialog)->accept(); // the proposed name, as if typed
    });
    const QString chosen =
        QtInteraction::instance().saveFile("Exportar a PDF", "Documento PDF (*.pdf)|*.pdf", existing);
    installQtTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(title, QString("Exportar a PDF"));
    QCOMPARE(chosen, existing);
    QVERIFY2(question.contains("Registros OK T1.pdf") && question.contains("ya existe"),
             qPrintable(question));
    QCOMPARE(yes.remove('&'), QString("Sí"));
}

// ---------------------------------------------------------------- printing

void TestPrintouts::pdfPagesMatchLayout()
{
    QTemporaryDir dir;
    for (int rows : {1, 26, 27, 60}) {
        const QString file = dir.filePath(QStringLiteral("r%1.pdf").arg(rows));
        const Reporte report = reportOf(rows);
        printPdf(report, file);
        QCOMPARE(pdfPages(file), report.layout(kLetterBody).pages);
    }
    QCOMPARE(pdfPages(dir.filePath("r60.pdf")), 3);
}

// The demo invoice processed as the operator would, both reports printed. Kept in
// $PRINTOUTS_PDF_DIR when set, to look at.
void TestPrintouts::demoInvoiceReports()
{
    TestEnv::useComma();
    TestEnv env;
    env.connect();
    SharedState &s = shared();
    s.PRCESM = "1";
    s.INTCAT = "001";
    s.INTDUN = "07";
    s.AA_MARCA = "GENERICA";
    s.sInternoActual = kShipment;
    const QStringList labels = {fl::CodArticulo, fl::DescrModelo, fl::Cantidad, fl::PUnitario,
                                fl::PTotal,      fl::Origen,      fl::KgNeto};
    const QVector<QStringList> rows = {
        {"MT-500", "MARTILLO CARPINTERO 500G", "24", "4,25", "102", "CHINA", "12,5"},
        {"DS-PH2", "DESTORNILLADOR PHILLIPS PH2", "50", "1,1", "55", "CHINA", "5"},
        {"TL-13", "TALADRO PERCUTOR 13MM", "4", "38", "152", "P.R. CHINA", "10,2"},
        {"ZP-42", "ZAPATO DE SEGURIDAD T42", "12", "21,5", "258", "BRASIL", "9,6"},
        {"CB-2X15", "CABLE BIPOLAR 2X1.5MM", "3", "55", "165", "BRAZIL", "30"},
        {"LL-10", "LLAVE AJUSTABLE 10", "10", "6,8", "68", "CHINA", "4"},
        {"MT-300", "MARTILLO BOLITA 300G", "24", "3,9", "93,6", "CHINA", "7,2"},
        {"SR-01", "SIERRA MANUAL", "6", "9", "54", "CHINA", "3"},
        {"AM-DIG", "MULTIMETRO DIGITAL", "2", "15", "30", "CHINA", "0,8"},
        {"PZ-900", "PINZA UNIVERSAL 8", "20", "2,5", "50", "CHINA", "2"},
        {"LN-LED", "LINTERNA LED RECARGABLE", "15", "7,2", "108", "ESTADOS UNIDOS", "1,5"},
        {"TC-7", "TIJERA DE CHAPA", "5", "8", "40", "USA", "2,5"},
    };
    SheetGridModel grid;
    grid.resize(2 + int(rows.size()), int(labels.size()));
    for (int c = 0; c < labels.size(); ++c) {
        grid.setText(0, c, QStringLiteral("Columna %1").arg(c + 1));
        grid.setText(1, c, labels[c]);
    }
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            grid.setText(2 + r, c, rows[r][c]);
    RecordingProgress progress;
    ScriptedInteraction script;
    QVERIFY(ProcessDriver(s, progress).FRAM2_GuardarDatosToBase(grid));
    VERIFY_SCRIPT(script);

    const auto errors = query(ControlPrintouts::errorQuery(kShipment));
    const auto ok = query(ControlPrintouts::okQuery(kShipment));
    QCOMPARE(errors.size() + ok.size(), 12);
    QCOMPARE(codesOf(errors), (QStringList{"PZ-900", "LN-LED", "TC-7", "SR-01", "LL-10", "MT-300"}));
    const auto mt500 =
        std::find_if(ok.begin(), ok.end(), [](const auto &r) { return r.fields[0] == "MT-500"; });
    QVERIFY(mt500 != ok.end());
    QCOMPARE(mt500->fields[3], QString("24,00"));
    QCOMPARE(mt500->fields[4], QString("04,2500"));
    QCOMPARE(mt500->fields[5], QString("102,00"));
    QCOMPARE(mt500->suffix, QString("AA(GENERICA)-AB(MT 500)-JD01"));

    QTemporaryDir temp;
    const QString dir = qEnvironmentVariableIsSet("PRINTOUTS_PDF_DIR")
                            ? qEnvironmentVariable("PRINTOUTS_PDF_DIR")
                            : temp.path();
    printPdf(Reporte(errors), dir + "/demo_errores.pdf");
    printPdf(Reporte(ok), dir + "/demo_ok.pdf");
    QCOMPARE(pdfPages(dir + "/demo_errores.pdf"), 1);
    QCOMPARE(pdfPages(dir + "/demo_ok.pdf"), 1);
}

// ---------------------------------------------------------------- fitting texts

// A text wider than its column is drawn smaller; only what does not fit at the smallest legible
// size ends in "…", and then whole letters of it stand. Headings fit their boxes, and the boxes of
// one line leave room between them, so no two headings touch.
void TestPrintouts::textsShrinkBeforeTheyAreCut()
{
    QImage page(100, 100, QImage::Format_RGB32);
    page.setDotsPerMeterX(23622); // 600 dpi
    page.setDotsPerMeterY(23622);
    const int descriptionWidth = 1701;

    const Reporte::Fit plain = Reporte::fit(QStringLiteral("MARTILLO"), descriptionWidth, false, page);
    QCOMPARE(plain.points, Reporte::kFontPoints);
    QCOMPARE(plain.text, QStringLiteral("MARTILLO"));

    const QString longer = QStringLiteral("LINTERNA LED RECARGABLE");
    const Reporte::Fit smaller = Reporte::fit(longer, descriptionWidth, false, page);
    QVERIFY(smaller.points < Reporte::kFontPoints);
    QVERIFY(smaller.points >= Reporte::kMinFontPoints);
    QCOMPARE(smaller.text, longer);

    const QString longest = QStringLiteral("LINTERNA LED RECARGABLE DE ALUMINIO CON CARGADOR USB Y ESTUCHE");
    const Reporte::Fit cut = Reporte::fit(longest, descriptionWidth, false, page);
    QCOMPARE(cut.points, Reporte::kMinFontPoints);
    QVERIFY(cut.text.endsWith(QChar(0x2026)));
    QVERIFY(longest.startsWith(cut.text.chopped(1)));
    QVERIFY(cut.text.size() > 10);

    QFont font;
    const Reporte::Layout layout = reportOf(1).layout(kLetterBody);
    QVector<Reporte::Item> headings;
    for (const Reporte::Item &item : layout.items)
        if (item.bold && item.top == 345) headings << item;
    QCOMPARE(headings.size(), 14);
    for (const Reporte::Item &h : headings) {
        const Reporte::Fit f = Reporte::fit(h.text, h.width, true, page);
        QVERIFY2(f.text == h.text, qPrintable(h.text + " is cut to " + f.text));
        font.setFamilies(f.narrow ? QStringList{"Arial Narrow", "Liberation Sans Narrow"}
                                  : QStringList{"Arial", "Liberation Sans"});
        font.setPointSizeF(f.points);
        font.setBold(true);
        QVERIFY(QFontMetricsF(font, &page).horizontalAdvance(f.text) <= h.width * 600.0 / 1440.0);
        for (const Reporte::Item &other : headings)
            if (&other != &h && other.left > h.left)
                QVERIFY2(other.left - (h.left + h.width) >= 50,
                         qPrintable(h.text + " touches " + other.text));
    }
}

QTEST_MAIN(TestPrintouts)
#include "test_printouts.moc"
