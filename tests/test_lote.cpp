// The batch command against the window: the same invoice through planexo-lote and through the
// main window must leave the same article rows; and the layout's mapping is remembered for F2.
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/ShipmentLock.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "shared/SharedState.h"
#include "ui/app/frmMain.h"
#include "ui/import/SheetPanel.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QtTest>

using Icon = Interaction::Icon;

namespace {

const QString kInvoice = QStringLiteral(PLANEXO_TEST_DATA_DIR "/../../db/demo/factura_demo.xlsx");
const QString kOtherLayout = QStringLiteral(PLANEXO_TEST_DATA_DIR "/invoice_openpyxl.xlsx");
const QString kMapping = QStringLiteral(
    "COD. ARTICULO=Codigo,DESCR. MODELO=b,CANTIDAD=C,P. TOTAL=Importe,ORIGEN=origen,KG NETO=G");

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs planexo-lote on the environment's program folder and settings store.
Run lote(const TestEnv &env, const QStringList &arguments, const QString &locale = QStringLiteral("en_US.UTF-8"))
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
    if (!p.waitForFinished(60000))
        return run;
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    // A console program's text-mode output on Windows ends its lines with CR LF.
    run.out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    run.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return run;
}

void configure(TestEnv &env)
{
    env.setSetting(QStringLiteral("INTDUN"), QStringLiteral("07"));
    env.setSetting(QStringLiteral("INTCAT"), QStringLiteral("001"));
    env.setSetting(QStringLiteral("PRCESM"), QStringLiteral("1"));
    env.setSetting(QStringLiteral("AA_MARCA"), QStringLiteral("GENERICA"));
}

// Every column of the shipment's articles, row by row, read straight from the file.
QVector<QVariantList> articleRows(const TestEnv &env, const QString &shipment, QStringList *columns)
{
    QVector<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite")));
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("select * from ART where INTNRO = '%1' order by ARTORD").arg(shipment));
            columns->clear();
            for (int i = 0; i < q.record().count(); ++i)
                *columns << q.record().fieldName(i);
            while (q.next()) {
                QVariantList row;
                for (int i = 0; i < columns->size(); ++i)
                    row << q.value(i);
                rows << row;
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return rows;
}

QPushButton *button(const frmMain &w, const char *name)
{
    return w.findChild<QPushButton *>(QString::fromLatin1(name));
}

// Step 1 to step 2 on the demo shipment, and the demo invoice loaded through "Examinar".
void loadInvoice(frmMain &w, ScriptedInteraction &script, const QString &file)
{
    QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
    script.expectOpenFile(TestEnv::workbookFilter(), file);
    QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
}

QStringList mappingRow(const SheetGridModel &grid)
{
    QStringList labels;
    for (int c = 0; c < grid.cols(); ++c)
        labels << grid.text(1, c);
    return labels;
}

} // namespace

class TestLote : public QObject {
    Q_OBJECT

private slots:
    void sameArticleRowsAsTheWindow_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::newRow("point") << false;
        QTest::newRow("comma") << true;
    }

    // The demo invoice through the window (F1 mapping, the relation dialog) and through the
    // command (heading and letter mapping, --pais): the rows agree column by column. The window's
    // successful process remembers the layout, which F2 then proposes for the next load.
    void sameArticleRowsAsTheWindow()
    {
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        const QString locale = comma ? QStringLiteral("es_AR.UTF-8") : QStringLiteral("en_US.UTF-8");
        const QString shipment = QStringLiteral("26001IC04000123");

        QStringList windowColumns;
        QVector<QVariantList> windowRows;
        {
            TestEnv env;
            configure(env);
            ScriptedInteraction script;
            frmMain w(env.programFolder());
            w.Form_Load();
            w.show();
            loadInvoice(w, script, kInvoice);
            // The first "Examinar" opens in the documents folder (the home folder when there is
            // none), the next ones where the last was.
            const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            QCOMPARE(script.lastOpenFileFolder(), QFileInfo(documents).isDir() ? documents : QDir::homePath());
            SheetGridModel &grid = w.fram2()->model();
            QCOMPARE(mappingRow(grid), QStringList(grid.cols(), QString()));
            // Nothing remembered yet: F2 would apply the mapping proposed from the heading words.
            QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Label13"))->text(),
                     QStringLiteral("[F1] Seleccionar Campos   [F2] Aplicar mapeo propuesto (6 de 7 columnas)"));
            QTableView *view = w.fram2()->grid();
            const QList<QPair<int, QString>> labels = {
                {0, fieldlabels::CodArticulo}, {1, fieldlabels::DescrModelo}, {2, fieldlabels::Cantidad},
                {4, fieldlabels::PTotal},      {5, fieldlabels::Origen},      {6, fieldlabels::KgNeto}};
            for (const auto &[column, label] : labels) {
                view->setCurrentIndex(grid.index(2, column));
                script.expectModal(QStringLiteral("frmCampos"), [label](QDialog &d) {
                    auto *list = d.findChild<QComboBox *>(QStringLiteral("cboCampos"));
                    list->setCurrentIndex(list->findText(label));
                    QTest::keyClick(list, Qt::Key_Return);
                    return d.result();
                });
                QTest::keyClick(view, Qt::Key_F1);
            }
            const QStringList mapped = mappingRow(grid);
            script.expectMessage(QStringLiteral("Pais REP. POPULAR CHINA no reconocido"), Icon::Critical);
            script.expectModal(QStringLiteral("frmRelPais"), [](QDialog &d) {
                auto *country = d.findChild<QComboBox *>(QStringLiteral("cboPais"));
                country->setCurrentIndex(country->findText(QStringLiteral("CHINA (310)")));
                QTest::keyClick(d.findChild<QLineEdit *>(QStringLiteral("txtValor")), Qt::Key_F11);
                return d.result();
            });
            QTest::mouseClick(button(w, "cmdSiguiente"), Qt::LeftButton);
            VERIFY_SCRIPT(script);
            QCOMPARE(shared().iPaso, qint16(3));
            windowRows = articleRows(env, shipment, &windowColumns);

            // The next load of the same layout: the mapping row stays empty, the hint offers the
            // remembered mapping, and F2 applies it. Another layout gets the proposal, which takes
            // the words this office's remembered mapping used.
            frmMain again(env.programFolder());
            again.Form_Load();
            again.show();
            loadInvoice(again, script, kInvoice);
            QCOMPARE(script.lastOpenFileFolder(), QFileInfo(kInvoice).absolutePath());
            SheetGridModel &next = again.fram2()->model();
            QCOMPARE(mappingRow(next), QStringList(next.cols(), QString()));
            QVERIFY(again.findChild<QLabel *>(QStringLiteral("Label13"))->text().contains(QStringLiteral("[F2]")));
            QTest::keyClick(again.fram2()->grid(), Qt::Key_F2);
            QCOMPARE(mappingRow(next), mapped);
            script.expectOpenFile(TestEnv::workbookFilter(), kOtherLayout);
            QTest::mouseClick(again.findChild<QPushButton *>(QStringLiteral("FRAM2_CmdProcesar")), Qt::LeftButton);
            VERIFY_SCRIPT(script);
            QCOMPARE(again.findChild<QLabel *>(QStringLiteral("Label13"))->text(),
                     QStringLiteral("[F1] Seleccionar Campos   [F2] Aplicar mapeo propuesto (6 de 7 columnas)"));
            QTest::keyClick(again.fram2()->grid(), Qt::Key_F2);
            QCOMPARE(mappingRow(again.fram2()->model()),
                     (QStringList{fieldlabels::CodArticulo, fieldlabels::DescrModelo, fieldlabels::Cantidad,
                                  fieldlabels::PTotal, fieldlabels::PaNcm, fieldlabels::Origen, QString()}));
        }
        QCOMPARE(windowRows.size(), 12);

        TestEnv env;
        configure(env);
        const Run run = lote(env,
                             {QStringLiteral("procesar"), QStringLiteral("--interno"), shipment, QStringLiteral("--archivo"),
                              kInvoice, QStringLiteral("--mapeo"), kMapping, QStringLiteral("--pais"),
                              QStringLiteral("REP. POPULAR CHINA=310")},
                             locale);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("Total de Registros\t0012\nRegistros con Errores\t0003\n"
                                         "Errores de Posición\t0001\nErrores de Sufijos\t0001\n"
                                         "Articulos en Catalogo\t0006\nArticulos Nuevos\t0003\n"));
        QStringList columns;
        const QVector<QVariantList> rows = articleRows(env, shipment, &columns);
        QCOMPARE(columns, windowColumns);
        QCOMPARE(rows.size(), windowRows.size());
        for (int r = 0; r < rows.size(); ++r) {
            for (int c = 0; c < columns.size(); ++c) {
                const QVariant a = rows[r][c], b = windowRows[r][c];
                QVERIFY2(a.isNull() == b.isNull() && a.typeId() == b.typeId() && a == b,
                         qPrintable(QStringLiteral("row %1 column %2: %3 / %4")
                                        .arg(r + 1)
                                        .arg(columns[c], a.toString(), b.toString())));
            }
        }
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("select ORI from ORG where PAI = 'REP. POPULAR CHINA'")).toString(),
                 QStringLiteral("310"));
        resetShared();

        // The command remembered the layout too.
        const Run again = lote(env, {QStringLiteral("procesar"), QStringLiteral("--interno"), shipment,
                                     QStringLiteral("--archivo"), kInvoice, QStringLiteral("--mapeo"),
                                     QStringLiteral("recordado"), QStringLiteral("--json")},
                               locale);
        QVERIFY2(again.status == 0, qPrintable(again.err));
        const QJsonObject json = QJsonDocument::fromJson(again.out.toUtf8()).object();
        QCOMPARE(json.value("totales").toObject().value("errSuf").toInt(), 1);
        const QJsonArray graded = json.value("filas").toArray();
        QCOMPARE(graded.size(), 12);
        QCOMPARE(graded.at(6).toObject().value("ARTNRO").toString(), QStringLiteral("MT-300"));
        QCOMPARE(graded.at(6).toObject().value("PRCCRC").toString(), QStringLiteral("SUF"));
    }

    // What the command refuses changes nothing, and says why with status 1.
    void refusalsStoreNothing()
    {
        TestEnv env;
        configure(env);
        env.connect();
        const int shipments = env.scalar(QStringLiteral("select count(*) from INTN")).toInt();
        const int relations = env.scalar(QStringLiteral("select count(*) from ORG")).toInt();
        const auto procesar = [&](const QString &mapping, const QStringList &more = {}) {
            return lote(env, QStringList{QStringLiteral("procesar"), QStringLiteral("--interno"), QStringLiteral("N-1"),
                                         QStringLiteral("--crear"), QStringLiteral("nuevo"),
                                         QStringLiteral("--archivo"), kInvoice, QStringLiteral("--mapeo"), mapping} +
                                 more);
        };

        Run run = procesar(kMapping);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("REP. POPULAR CHINA")), qPrintable(run.err));
        QVERIFY(!run.err.contains(QStringLiteral("\n  CHINA\n")));

        run = procesar(QStringLiteral("COD. ARTICULO=A,PRECIO=B"));
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("PRECIO=B")), qPrintable(run.err));

        run = procesar(QStringLiteral("COD. ARTICULO=A,CANTIDAD=ZZ"));
        QCOMPARE(run.status, 1);
        run = procesar(QStringLiteral("COD. ARTICULO=A,CANTIDAD=A"));
        QCOMPARE(run.status, 1);
        // The verification of step 2, with its own text.
        run = procesar(QStringLiteral("DESCR. MODELO=B"));
        QCOMPARE(run.status, 1);
        QVERIFY(!run.err.trimmed().isEmpty());
        run = procesar(QStringLiteral("recordado"));
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(QStringLiteral("No hay un mapeo recordado")));
        run = lote(env, {QStringLiteral("procesar"), QStringLiteral("--interno"), QStringLiteral("N-1"),
                         QStringLiteral("--archivo"), kInvoice, QStringLiteral("--mapeo"), kMapping});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(QStringLiteral("no existe")));
        run = procesar(kMapping, {QStringLiteral("--archivo"), env.programFolder() + QStringLiteral("/nada.xlsx")});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(QStringLiteral("No se encuentra el archivo seleccionado")));
        QCOMPARE(lote(env, {QStringLiteral("borrar")}).status, 1);
        QCOMPARE(lote(env, {QStringLiteral("procesar"), QStringLiteral("--otra")}).status, 1);

        QCOMPARE(env.scalar(QStringLiteral("select count(*) from INTN")).toInt(), shipments);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = 'N-1'")).toInt(), 0);
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ORG")).toInt(), relations);

        const Run help = lote(env, {QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith(QStringLiteral("Uso: planexo-lote")));
        // Every kind of workbook the load reads is named for --archivo.
        for (const char *kind : {"(.xlsx, .xlsm)", "(.xlsb)", "(.xls)", "(.ods)", "(.csv, .txt)"})
            QVERIFY2(help.out.contains(QLatin1String(kind)), kind);
        // A heading cell is a column's letters then a row; "propuestas" is the one word --quitar-filas takes.
        for (const QStringList &bad :
             {QStringList{QStringLiteral("--fila-titulos"), QStringLiteral("4B")},
              QStringList{QStringLiteral("--fila-titulos"), QStringLiteral("B")},
              QStringList{QStringLiteral("--quitar-filas"), QStringLiteral("propuesta")}}) {
            const Run refused = lote(env, QStringList{QStringLiteral("procesar"), QStringLiteral("--interno"),
                                                      QStringLiteral("N-1"), QStringLiteral("--archivo"),
                                                      QStringLiteral("x.xlsx"), QStringLiteral("--mapeo"),
                                                      QStringLiteral("propuesto")} +
                                              bad);
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.startsWith(bad.first() + QStringLiteral(" espera")),
                     qPrintable(refused.err));
        }
        const Run list = lote(env, {QStringLiteral("listar")});
        QCOMPARE(list.status, 0);
        QVERIFY(list.out.contains(QStringLiteral("26001IC04000123\t")));
    }

    // Transfer: refused while rows need review, done once they are corrected, and the replace
    // question answered by --reemplazar.
    void transferAnswersTheReplaceQuestionFromTheCommandLine()
    {
        TestEnv env;
        configure(env);
        const QString shipment = QStringLiteral("L-7");
        Run run = lote(env, {QStringLiteral("procesar"), QStringLiteral("--interno"), shipment, QStringLiteral("--crear"),
                             QStringLiteral("lote"), QStringLiteral("--archivo"), kInvoice, QStringLiteral("--mapeo"),
                             kMapping, QStringLiteral("--pais"), QStringLiteral("rep. popular china=310")});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        run = lote(env, {QStringLiteral("transferir"), QStringLiteral("--interno"), shipment});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Hay registros para depurar")), qPrintable(run.err));

        env.connect();
        env.exec(QStringLiteral("update ART set PRCEST = 'M', PRCCRC = 'OK' where INTNRO = 'L-7'"));
        resetShared();
        run = lote(env, {QStringLiteral("transferir"), QStringLiteral("--interno"), shipment});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("Se transfirio 12 articulos en el interno L-7\n"));
        run = lote(env, {QStringLiteral("transferir"), QStringLiteral("--interno"), shipment});
        QCOMPARE(run.status, 1);
        run = lote(env, {QStringLiteral("transferir"), QStringLiteral("--interno"), shipment, QStringLiteral("--reemplazar")});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        env.connect();
        QCOMPARE(env.scalarCalvera(QStringLiteral("INTERNOS"),
                                   QStringLiteral("select count(*) from subitems where interno = 'L-7'"))
                     .toInt(),
                 12);

        // Processing again would replace an article corrected by hand: refused with the question,
        // nothing changed; --reemplazar answers it.
        env.exec(QStringLiteral(
            "insert into HIST (INTNRO, HISORD, HISCOL, HISANT, HISNUE, HISORI, HISUSR, HISPUE, "
            "HISFEC) values ('L-7', 4, 'PRCESM', '1', '2', 'EDITOR', 'ana', 'PC1', "
            "'2026-12-07 10:00:00')"));
        resetShared();
        const QStringList again{QStringLiteral("procesar"),
                                QStringLiteral("--interno"),
                                shipment,
                                QStringLiteral("--archivo"),
                                kInvoice,
                                QStringLiteral("--mapeo"),
                                kMapping,
                                QStringLiteral("--pais"),
                                QStringLiteral("rep. popular china=310")};
        run = lote(env, again);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral(
                     "El interno tiene 12 artículos, 1 corregidos a mano, que se reemplazarán. ¿Continuar?")),
                 qPrintable(run.err));
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = 'L-7' and PRCEST = 'M'"))
                     .toInt(),
                 12);
        resetShared();
        run = lote(env, again + QStringList{QStringLiteral("--reemplazar")});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        env.connect();
        QCOMPARE(env.scalar(QStringLiteral("select count(*) from ART where INTNRO = 'L-7' and PRCEST = 'M'"))
                     .toInt(),
                 0);
    }

    // corregir: a group correction with the editor's checks and messages; the refused rows stay as
    // they were; --json names each; the history names the batch.
    void corregirAppliesTheEditorsChecks()
    {
        TestEnv env;
        configure(env);
        env.connect();
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('C-1', 'corregir')"));
        env.exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTCAN, PRCNCM, PRCSUF, PRCDUN, PRCECA, PRCESM, ARTORG, "
            "PRCEST, PRCCRC) values "
            "('C-1', 1, 'M-1', 2, '8205.20.00.000Z', NULL, '07', NULL, '1', NULL, 'E', 'POS'),"
            "('C-1', 2, 'M-2', 3, '8205.20.00.000Z', NULL, '07', NULL, '1', NULL, 'E', 'POS'),"
            "('C-1', 3, 'M-3', 4, '8205.20.00.000Z', NULL, '07', 5, '1', NULL, 'E', 'POS'),"
            "('C-1', 4, 'M-4', 4, '8205.20.00.000Z', NULL, '07', NULL, '1', NULL, 'E', 'POS')"));
        resetShared();

        const QStringList base{QStringLiteral("corregir"), QStringLiteral("--interno"), QStringLiteral("C-1")};
        Run run = lote(env, base + QStringList{"--filas", "1,x"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("Filas no válidas: \"1,x\" (por ejemplo \"3,7-9\")\n"));
        run = lote(env, base + QStringList{"--filas", "1", "--posicion", "8205.20.00.000Q"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("Posición no encontrada en Nomenclador\n"));
        run = lote(env, base + QStringList{"--filas", "1", "--posicion", "8205.20"});
        QCOMPARE(run.err, QStringLiteral("Error en la estructura de la posición\n"));
        run = lote(env, base + QStringList{"--filas", "1", "--origen", "Atlantida"});
        QCOMPARE(run.err, QStringLiteral("País desconocido: Atlantida\n"));

        // Without a position the rows with errors are refused as the editor refuses them.
        run = lote(env, base + QStringList{"--filas", "4", "--estado", "2"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QStringLiteral("Se guardaron 0 de 1 registros.\n\nNo se guardaron:\n0004 M-4: Falta "
                                         "información sobre la posición arancelaria.\n"));

        run = lote(env, base + QStringList{"--filas", "1-3", "--posicion", "8205,20,00,000K", "--sufijos",
                                           "AA(X)-AB(Y)-JD01-", "--origen", "brasil"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QStringLiteral("Se guardaron 2 de 3 registros.\n\nNo se guardaron:\n0003 M-3: La Cantidad "
                                         "Declarada debe ser igual a la Cantidad Especifica\n"));
        env.connect();
        QCOMPARE(env.scalar("select group_concat(PRCNCM || '|' || PRCSUF || '|' || PRCEUN || '|' || PRCLAP || '|' || "
                            "PRCECA || '|' || ARTORG || '|' || PRCEST || PRCCRC, ';') from (select * from ART where "
                            "ARTORD < 3 order by ARTORD)")
                     .toString(),
                 QStringLiteral("8205.20.00.000K|AA(X)-AB(Y)-JD01-|07|N|2.0|203|MOK;"
                                "8205.20.00.000K|AA(X)-AB(Y)-JD01-|07|N|3.0|203|MOK"));
        QCOMPARE(env.scalar("select PRCNCM || PRCEST || PRCCRC || coalesce(ARTORG, '-') from ART where ARTORD = 3")
                     .toString(),
                 QStringLiteral("8205.20.00.000ZEPOS-"));
        QCOMPARE(env.scalar("select count(*) from HIST where INTNRO = 'C-1' and HISORI = 'LOTE' and HISORD = 1").toInt(),
                 8);
        resetShared();

        run = lote(env, base + QStringList{"--filas", "3,4", "--posicion", "8205.20.00.000K", "--sufijos",
                                           "AA(X)-AB(Y)-JD01-", "--json"});
        QCOMPARE(run.status, 1);
        const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(json.value("total").toInt(), 2);
        QCOMPARE(json.value("guardadas").toArray(), QJsonArray{4});
        const QJsonObject refused = json.value("rechazadas").toArray().first().toObject();
        QCOMPARE(refused.value("ARTORD").toInt(), 3);
        QCOMPARE(refused.value("ARTNRO").toString(), QStringLiteral("M-3"));
        QCOMPARE(refused.value("mensaje").toString(),
                 QStringLiteral("La Cantidad Declarada debe ser igual a la Cantidad Especifica"));

        // Another instance holds the shipment: nothing is corrected.
        ShipmentLock held;
        QCOMPARE(held.acquire(env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite")), QStringLiteral("C-1")),
                 ShipmentLock::Result::Acquired);
        run = lote(env, base + QStringList{"--filas", "3", "--estado", "1"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QStringLiteral("El interno C-1 está siendo procesado en otro puesto\n"));
    }

    // A password in a parameter file that other users can read is told once, in the output and on
    // stderr, and the command runs all the same; a file closed to others says nothing.
    void passwordReadableByOthersIsTold()
    {
#ifndef Q_OS_UNIX
        QSKIP("the modes of Unix's files; on Windows %APPDATA% is the user's own");
#endif
        TestEnv env;
        configure(env);
        QFile ini(env.dbFile(QStringLiteral("calvera.ini")));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("\n[AVISO]\ndriver=QSQLITE\ndatabase=db/calvera_ncm.sqlite\npassword=Secreto-2\n");
        ini.close();
        const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        const auto folder = owner | QFileDevice::ExeOwner, readable = owner | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(env.programFolder(),
                                      folder | QFileDevice::ReadOther | QFileDevice::ExeOther));
        QVERIFY(ini.setPermissions(readable));
        const QString notice =
            QStringLiteral(
                "Aviso: el archivo de parámetros '%1' guarda la contraseña del servidor y otros usuarios "
                "de este equipo pueden leerlo. Protéjalo (chmod 600 '%1') o quite la contraseña y "
                "guárdela en el archivo de contraseñas de PostgreSQL (~/.pgpass).\n")
                .arg(QFileInfo(ini).absoluteFilePath());
        Run run = lote(env, {QStringLiteral("listar")});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.startsWith(notice) && run.out.count(notice) == 1, qPrintable(run.out));
        QVERIFY2(run.out.section('\n', 1).contains('\t'), qPrintable(run.out)); // the shipments follow
        QCOMPARE(run.err, notice);
        // Closed to others by a folder above it that others cannot pass, or by the file's mode.
        for (const bool byFolder : {true, false}) {
            QVERIFY(QFile::setPermissions(env.programFolder(),
                                          byFolder ? folder : folder | QFileDevice::ExeOther));
            QVERIFY(ini.setPermissions(byFolder ? readable : owner));
            run = lote(env, {QStringLiteral("listar")});
            QVERIFY2(run.status == 0 && !run.out.contains("Aviso") && run.err.isEmpty(),
                     qPrintable(run.out + run.err));
        }
    }
};

QTEST_MAIN(TestLote)
#include "test_lote.moc"
