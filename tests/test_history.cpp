// The change history: its table in old work databases, the rows of every change of a shipment's
// road (process run, editor save, group save, transfer), F8 in the editor, and its end with the
// shipment.
#include "shared/SharedState.h"
#include "common/RecordingProgress.h"
#include "common/ScriptedInteraction.h"
#include "common/ReadOnlyFile.h"
#include "common/TestEnv.h"
#include "data/History.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/ProcessDriver.h"
#include "review/GroupCorrection.h"
#include "shipments/Shipments.h"
#include "transfer/TransferDriver.h"
#include "ui/review/FrmHistorial.h"
#include "ui/review/frmDEP.h"
#include "ui/review/frmModificar.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

using Icon = Interaction::Icon;
namespace fl = fieldlabels;

namespace {

QString tableSql(TestEnv &env, const QString &name)
{
    return env.scalar(QStringLiteral("select sql from sqlite_master where name = '%1'").arg(name)).toString();
}

// An entry as one line: order, column, before, after, origin.
QStringList lines(const QVector<history::Entry> &entries)
{
    QStringList out;
    for (const history::Entry &e : entries)
        out << QStringLiteral("%1|%2|%3|%4|%5")
                   .arg(e.order ? QString::number(*e.order) : QStringLiteral("-"), e.column, e.before, e.after,
                        e.origin);
    return out;
}

void connectAgain(TestEnv &env)
{
    resetShared();
    env.connect();
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // A work database made before the history gets the table, as shipped, when the program opens it;
    // opening one that has it changes nothing.
    void tableAddedToOldDatabase()
    {
        TestEnv env;
        env.connect();
        const QString shipped = tableSql(env, "HIST");
        QVERIFY(shipped.contains(QLatin1String("STRICT")));
        QVERIFY(!tableSql(env, "HIST_INTNRO").isEmpty());
        env.exec(QStringLiteral("insert into HIST (INTNRO, HISCOL, HISORI, HISUSR, HISPUE, HISFEC) "
                                "values ('T9', 'PRCNCM', 'EDITOR', 'u', 'p', 'f')"));
        connectAgain(env);
        QCOMPARE(env.scalar("select count(*) from HIST").toInt(), 1);

        env.exec(QStringLiteral("drop table HIST"));
        QVERIFY(tableSql(env, "HIST").isEmpty());
        connectAgain(env);
        QCOMPARE(tableSql(env, "HIST"), shipped);
        QVERIFY(!tableSql(env, "HIST_INTNRO").isEmpty());
        QCOMPARE(env.scalar("select count(*) from HIST").toInt(), 0);
        // STRICT as the other tables: a text in the row order is refused.
        QVERIFY(errorNumberOf([&] {
                    env.exec(QStringLiteral("insert into HIST (INTNRO, HISORD, HISCOL, HISORI, HISUSR, HISPUE, "
                                            "HISFEC) values ('T9', 'x', 'c', 'o', 'u', 'p', 'f')"));
                }) != 0);
    }

    // An old work database that this process may not write still opens (to be read); the table
    // is not there, and a save says why it cannot be made.
    void oldReadOnlyDatabaseOpens()
    {
        TestEnv env;
        env.connect();
        env.exec(QStringLiteral("drop table HIST"));
        env.exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTCAN, PRCNCM, PRCSUF, PRCLAP, PRCDUN, PRCEUN, PRCECA, "
            "PRCESM, PRCEST, PRCCRC) values "
            "('T1', 1, 'A', 1, '8205.40.00.000X', 'AA(X)-AB(Y)-JD01-', 'N', '07', '07', 1, '1', 'A', 'OK')"));
        resetShared();
        const QString file = env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite"));
        ReadOnlyFile readOnly(file);
        if (!readOnly.holds()) QSKIP("the file system cannot make the file read-only for root");
        QVERIFY(!QFileInfo(file).isWritable());
        env.connect();
        QVERIFY(shared().gestor->isOpen());
        QVERIFY(tableSql(env, "HIST").isEmpty());
        QCOMPARE(env.scalar("select ARTNRO from ART").toString(), QStringLiteral("A"));
        shared().sInternoActual = QStringLiteral("T1");
        groupcorrection::Changes changes;
        changes.goodsState = QStringLiteral("2");
        const groupcorrection::Result result = groupcorrection::apply(shared(), {"0001"}, changes, history::kGroup);
        QVERIFY(result.saved.isEmpty());
        QCOMPARE(result.refused.size(), 1);
        QVERIFY2(result.refused.first().refusal.text.contains(QLatin1String("es de solo lectura")),
                 qPrintable(result.refused.first().refusal.text));
        resetShared();
    }

    // The road of one shipment: processed, one row corrected in the editor, two in a group, the
    // transfer; each leaves its rows with its values, the editor's F8 shows the row's history newest
    // first, and deleting the shipment leaves nothing of it (another shipment's history stays).
    void everyChangeOfTheRoad()
    {
        TestEnv env;
        env.connect();
        SharedState &s = shared();
        s.INTCAT = QStringLiteral("001");
        s.PRCESM = QStringLiteral("1");
        s.INTDUN = QStringLiteral("07");
        s.sInternoActual = QStringLiteral("T1");
        QVERIFY(shipments::create(*s.gestor, QStringLiteral("T1"), QStringLiteral("Camino")));
        QVERIFY(shipments::create(*s.gestor, QStringLiteral("T2"), QStringLiteral("Otro")));

        SheetGridModel grid;
        const QStringList labels{fl::CodArticulo, fl::Cantidad, fl::PTotal};
        const QVector<QStringList> rows{{"MT-500", "24", "102"}, {"NEW-9", "2", "10"}, {"NEW-10", "3", "12"}};
        grid.resize(2 + int(rows.size()), int(labels.size()));
        for (int c = 0; c < labels.size(); ++c) {
            grid.setText(0, c, QStringLiteral("Columna %1").arg(c + 1));
            grid.setText(1, c, labels[c]);
        }
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size(); ++c)
                grid.setText(2 + r, c, rows[r][c]);
        {
            ScriptedInteraction script;
            RecordingProgress progress;
            QVERIFY(ProcessDriver(s, progress).FRAM2_GuardarDatosToBase(grid));
            VERIFY_SCRIPT(script);
        }
        QCOMPARE(lines(history::forShipment(*s.gestor, "T1")),
                 QStringList{"-|PROCESO||Total de Registros 0003; Registros con Errores 0000; Errores de Posición "
                             "0000; Errores de Sufijos 0000; Articulos en Catalogo 0001; Articulos Nuevos 0002|"
                             "PROCESO"});

        // The editor: row 2 gets a position, its suffixes and a goods state.
        {
            ScriptedInteraction script;
            frmModificar editor;
            editor.verificarSufijos = [](const QString &, QString &, int, QString &) {
                return QStringLiteral("AA(X)-AB(Y)-JD01-");
            };
            editor.setTag(QStringLiteral("0002"));
            editor.show();
            auto *ncm = editor.findChild<QLineEdit *>(QStringLiteral("txtPRCNCM"));
            QTest::keyClicks(ncm, QStringLiteral("8205.20.00.000K"));
            QTest::keyClick(ncm, Qt::Key_Return);
            editor.findChild<QLineEdit *>(QStringLiteral("txtPRCESM"))->setText(QStringLiteral("2"));
            QTest::keyClick(ncm, Qt::Key_F11);
            VERIFY_SCRIPT(script);
            QCOMPARE(editor.result(), int(QDialog::Accepted));
        }
        QCOMPARE(lines(history::forRecord(*s.gestor, "T1", 2)),
                 (QStringList{"2|PRCCRC||OK|EDITOR", "2|PRCEST||M|EDITOR", "2|PRCESM|1|2|EDITOR",
                              "2|PRCECA||2|EDITOR", "2|PRCEUN||07|EDITOR", "2|PRCSUF||AA(X)-AB(Y)-JD01-|EDITOR",
                              "2|PRCLAP||N|EDITOR", "2|PRCNCM||8205.20.00.000K|EDITOR"}));
        const history::Entry one = history::forRecord(*s.gestor, "T1", 2).last();
        QCOMPARE(one.user, history::login());
        QCOMPARE(one.workstation, history::workstation());
        QVERIFY(QDateTime::fromString(one.when, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid());

        // A group: rows 2 and 3 get the goods state 3; row 3 has never been processed and is refused.
        groupcorrection::Changes changes;
        changes.goodsState = QStringLiteral("3");
        const groupcorrection::Result result = groupcorrection::apply(s, {"0002", "0003"}, changes, history::kGroup);
        QCOMPARE(result.saved, QStringList{"0002"});
        QCOMPARE(groupcorrection::report(result),
                 QStringLiteral("Se guardaron 1 de 2 registros.\r\n\r\nNo se guardaron:\r\n0003 NEW-10: Falta "
                                "información sobre la posición arancelaria."));
        QVERIFY(history::forRecord(*s.gestor, "T1", 3).isEmpty());

        // F8 in the editor: the row's history, newest first.
        {
            ScriptedInteraction script;
            QStringList shown;
            script.expectModal(QStringLiteral("FrmHistorial"), [&](QDialog &d) {
                auto &window = dynamic_cast<FrmHistorial &>(d);
                for (int i = 0; i < window.list()->topLevelItemCount(); ++i) {
                    const QTreeWidgetItem *item = window.list()->topLevelItem(i);
                    shown << item->text(FrmHistorial::colColumna) + "|" + item->text(FrmHistorial::colAntes) + "|" +
                                 item->text(FrmHistorial::colDespues) + "|" + item->text(FrmHistorial::colOrigen);
                }
                d.show();
                QTest::keyClick(window.list(), Qt::Key_Escape);
                return d.result();
            });
            frmModificar editor;
            editor.setTag(QStringLiteral("0002"));
            editor.show();
            QTest::keyClick(editor.findChild<QLineEdit *>(QStringLiteral("txtPRCNCM")), Qt::Key_F8);
            VERIFY_SCRIPT(script);
            // Each column by the caption the editor shows beside its field.
            QCOMPARE(shown.first(), QStringLiteral("Estado Mercaderia|2|3|GRUPO"));
            QCOMPARE(shown.size(), 9);
            QCOMPARE(shown.last(), QStringLiteral("Posición||8205.20.00.000K|EDITOR"));
            QVERIFY(shown.contains(QStringLiteral("CRC||OK|EDITOR")));
            QVERIFY(shown.contains(QStringLiteral("Unidad Estadistica [ ]||07|EDITOR")));
            QVERIFY(editor.isVisible()); // the editor stays open
        }

        // F8 in "Resultados": the history of the selected row, without the editor.
        {
            ScriptedInteraction script;
            QString title;
            int rows = 0;
            script.expectModal(QStringLiteral("FrmHistorial"), [&](QDialog &d) {
                auto &window = dynamic_cast<FrmHistorial &>(d);
                title = window.findChild<QLabel *>(QStringLiteral("lbHistorial"))->text();
                rows = window.list()->topLevelItemCount();
                return int(QDialog::Rejected);
            });
            s.iModoLista = 2;
            frmDEP list;
            list.show();
            QTreeWidgetItem *row2 = list.list()->findItems(QStringLiteral("0002"), Qt::MatchExactly).value(0);
            QVERIFY(row2);
            list.list()->setCurrentItem(row2);
            QTest::keyClick(list.list(), Qt::Key_F8);
            VERIFY_SCRIPT(script);
            QCOMPARE(title, QStringLiteral("Registro 0002 NEW-9"));
            QCOMPARE(rows, 9);
        }

        // Processing again would replace the corrected article, so the operator is asked first. "No"
        // changes nothing; "Sí" runs into a row in the middle that fails (the heading row repeated:
        // text in the quantity), and the shipment keeps its articles and their history as they were.
        const auto state = [&] {
            return env.scalar("select group_concat(ARTORD || ':' || ARTNRO || ':' || coalesce(PRCEST, '') || "
                              "':' || coalesce(PRCESM, ''), ',') from ART where INTNRO = 'T1'")
                       .toString() +
                   lines(history::forShipment(*s.gestor, "T1")).join('\n');
        };
        const QString before = state();
        for (int r = 0; r < 3; ++r)
            grid.setText(2 + r, 0, QStringList{"MT-500", "Columna 1", "NEW-10"}[r]);
        grid.setText(3, 1, QStringLiteral("Columna 2"));
        for (const auto answer : {Interaction::Answer::No, Interaction::Answer::Yes}) {
            ScriptedInteraction script;
            script.expectMessage(QStringLiteral("El interno tiene 3 artículos, 1 corregidos a mano, que se "
                                                "reemplazarán. ¿Continuar?"),
                                 Icon::Question, Interaction::Buttons::YesNoDefaultNo, answer);
            if (answer == Interaction::Answer::Yes)
                script.expectMessage(
                    QStringLiteral("No coinciden los tipos\r\n\r\n13 - seccion "
                                   "[Planexo.frmMain.FRAM2_GuardarDatosToBase]:: 120Planexo\r\n\r\n"
                                   "SQL:\r\ninsert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTTKG, "
                                   "ARTCAN, ARTUNI, ARTTOT ,PRCNCM,PRCDUN,ARTORG,ARTKGB,MARCA,"
                                   "DESCRIPCION_MARIA,PRCSUF) values ('T1', "),
                    Icon::Critical);
            RecordingProgress progress;
            QVERIFY(!ProcessDriver(s, progress).FRAM2_GuardarDatosToBase(grid));
            VERIFY_SCRIPT(script);
            QCOMPARE(state(), before);
        }
        // The work database is left outside any transaction: another connection sees a later write.
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('T3', 'despues')"));
        {
            oAlm::clGestor other;
            other.CadenaConexion = oAlm::clGestor::connectionStringFor(env.programFolder());
            other.Conectar();
            other.Sql = QStringLiteral("select count(*) as n from INTN where INTNRO = 'T3'");
            Recordset rs;
            QVERIFY(other.CrearRs(rs));
            QCOMPARE(rs.Fields(QStringLiteral("n")).toInt(), 1);
        }

        // Row 3 corrected so that the transfer runs.
        env.exec(QStringLiteral("update ART set PRCEST = 'M', PRCCRC = 'OK', PRCNCM = '8205.20.00.000K', "
                                "PRCDUN = '07', PRCESM = '1' where INTNRO = 'T1' and ARTORD = 3"));
        {
            ScriptedInteraction script;
            script.expectMessage(QStringLiteral("Se transfirio 3 articulos en el interno T1"), Icon::Information);
            RecordingProgress progress;
            TransferDriver(s, progress).FRM3_Tranferir();
            VERIFY_SCRIPT(script);
        }
        const QStringList road = lines(history::forShipment(*s.gestor, "T1"));
        QCOMPARE(road.first(), QStringLiteral("-|TRANSFERENCIA||Articulos en Calvera 3|TRANSFERENCIA"));
        QCOMPARE(road.size(), 1 + 1 + 8 + 1);
        QCOMPARE(road.last().section('|', 1, 1), QStringLiteral("PROCESO"));
        // Calvera received the articles and nothing of the history.
        QCOMPARE(env.scalarCalvera("INTERNOS", "select count(*) from subitems where interno = 'T1'").toInt(), 3);

        // Another shipment's history stays when T1 goes.
        history::recordRun(*s.gestor, "T2", history::kProcess, "x");
        QVERIFY(shipments::remove(*s.gestor, "T1"));
        QCOMPARE(env.scalar("select count(*) from HIST where INTNRO = 'T1'").toInt(), 0);
        QCOMPARE(env.scalar("select count(*) from HIST where INTNRO = 'T2'").toInt(), 1);
    }

    // A refused save, a save that changes nothing and Esc add no history.
    void nothingRecordedWithoutChange()
    {
        TestEnv env;
        env.connect();
        shared().sInternoActual = QStringLiteral("T1");
        env.exec(QStringLiteral(
            "insert into ART (INTNRO, ARTORD, ARTNRO, ARTCAN, PRCNCM, PRCSUF, PRCLAP, PRCDUN, PRCEUN, PRCECA, PRCESM, "
            "ARTORG, PRCEST, PRCCRC) values "
            "('T1', 1, 'D-1', 3, '8205.40.00.000X', 'AA(A)-AB(B)-JD01-', 'N', '07', '07', 3, '1', '310', 'M', 'OK')"));
        {
            ScriptedInteraction script;
            frmModificar editor;
            editor.setTag(QStringLiteral("0001"));
            editor.show();
            QTest::keyClick(editor.findChild<QLineEdit *>(QStringLiteral("txtPRCNCM")), Qt::Key_F11);
            VERIFY_SCRIPT(script);
            QCOMPARE(editor.result(), int(QDialog::Accepted));
        }
        {
            ScriptedInteraction script;
            script.expectMessage(QStringLiteral("Estado de mercaderia inválida"), Icon::Critical);
            frmModificar editor;
            editor.setTag(QStringLiteral("0001"));
            editor.show();
            editor.findChild<QLineEdit *>(QStringLiteral("txtPRCESM"))->setText(QStringLiteral("X"));
            QTest::keyClick(editor.findChild<QLineEdit *>(QStringLiteral("txtPRCNCM")), Qt::Key_F11);
            QTest::keyClick(editor.findChild<QLineEdit *>(QStringLiteral("txtPRCNCM")), Qt::Key_Escape);
            VERIFY_SCRIPT(script);
        }
        QCOMPARE(env.scalar("select count(*) from HIST").toInt(), 0);
    }
};

QTEST_MAIN(TestHistory)
#include "test_history.moc"
