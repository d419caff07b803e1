// The transfer to Calvera against real SQLite files: the pre-check, the header and items, the
// replacement question, the catalogue update and insert, the failures and the final count.
#include "Version.h"
#include "common/RecordingProgress.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/DataConnection.h"
#include "data/EDMain.h"
#include "data/PlanexoError.h"
#include "data/Recordset.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "transfer/TransferDriver.h"
#include "transfer/modGlobal.h"
#include "ui/app/frmMain.h"
#include "ui/shipments/ShipmentList.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using Icon = Interaction::Icon;
using Buttons = Interaction::Buttons;
using Answer = Interaction::Answer;

namespace {

const QString kShipment = QStringLiteral("T1");
const QDateTime kNow(QDate(2026, 12, 1), QTime(8, 30, 0));
// kNow as the catalogue's date literal on Calvera's engine.
const QString kFecha = TestEnv::onServer() ? QStringLiteral("TIMESTAMP '2026-12-01 08:30:00'")
                                           : QStringLiteral("'2026-12-01 08:30:00'");
const QString kInternos = QStringLiteral("INTERNOS/CATALOGOS");

const QString kArtColumns =
    QStringLiteral("INTNRO, ARTORD, ARTNRO, ARTDSC, DESCRIPCION_MARIA, ARTTKG, ARTKGB, ARTCAN, ARTUNI, "
                   "ARTTOT, ARTORG, PRCNCM, "
                   "PRCSUF, PRCLAP, PRCDUN, PRCEUN, PRCECA, PRCSUN, PRCSCA, PRCESM, PRCORI, PRCEST, PRCCRC");

// values: everything after INTNRO, as SQL literals.
void addArt(TestEnv &env, const QString &values, const QString &shipment = kShipment)
{
    env.exec(QStringLiteral("insert into ART (%1) values ('%2',%3)").arg(kArtColumns, shipment, values));
}

// A found article with every column set, one new article with Nulls, one new article with decimals.
void addThreeArticles(TestEnv &env)
{
    addArt(env,
           "1,'MT-500','MARTILLO O''NEIL','MARTILLO DE ACERO',12.5,13.25,3,33.33,100,'310','8205.20.00.000K',"
           "'AA(STANLEY)-AB(MT 500)-JD01','N','07','07',3,'',NULL,'1','310','A','OK'");
    addArt(env,
           "2,'NEW-1',NULL,NULL,NULL,NULL,NULL,NULL,50,'203','8205.40.00.000X',NULL,NULL,'07','07',NULL,NULL,"
           "NULL,'1',NULL,'M','OK'");
    addArt(env,
           "3,'NEW-2','TORNILLO','TORNILLO DE ACERO',0.125,1.5,2,2.5,5,'310','7318.15.00.000Z','AA(X)','S',"
           "'01','01',2.5,'07',1.5,'2','311','M','OK'");
}

const QString kSubitemsHead = QStringLiteral(
    "insert into subitems (idarticulo,idcatalogo,descripcion,Descripcion_Maria,interno,ncm,IdUnidad,Cantidad,"
    "Preciounitario,IdPais,KGNETO,fob,EstadoMerc,estadistica,valorrelacionestadistica,sufijos,LAPI,"
    "valorderesp,"
    "kgbruto,biendeuso,deresp) values (");
const QString kInsertHead = QStringLiteral(
    "insert into CATARTICULOS (idcatalogo, idarticulo, descripcion, idpais, cantidad, Preciounitario, ncm, "
    "lapi, "
    "sufijos, idunidad, estadistica, valorrelacionestadistica, estadomerc, deresp, valorderesp) values (");

const QStringList kExpectedSubitems = {
    kSubitemsHead +
        "'MT-500','001','MARTILLO O''NEIL','MARTILLO DE ACERO','T1','8205.20.00.000K','07',3,33.3333,"
        "'310',12.50,100.00,'1','07',3,'AA(STANLEY)-AB(MT 500)-JD01','N',0,13.25,'N','')",
    kSubitemsHead +
        "'NEW-1','001','','','T1','8205.40.00.000X','07',0,0,'203',0.00,50.00,'1','07',0,'','',0,0,"
        "'N','')",
    kSubitemsHead +
        "'NEW-2','001','TORNILLO','TORNILLO DE ACERO','T1','7318.15.00.000Z','01',2,02.5000,'310',0.13,"
        "05.00,'2','01',2.5,'AA(X)','S',1.5,1.5,'N','07')",
};

QString expectedUpdateOfMt500()
{
    return QStringLiteral(
               "update CATARTICULOS set descripcion = 'MARTILLO O''NEIL',cantidad = 0,Preciounitario = "
               "33.33,ncm = '8205.20.00.000K',lapi = 'N',sufijos = 'AA(STANLEY)-AB(MT 500)-JD01',"
               "idunidad = '07',estadistica = '07',valorrelacionestadistica = 3,EstadoMerc = '1',"
               "descripcion_maria = 'MARTILLO DE ACERO',idpais = '310',usuario = '") +
           QString(TransferDriver::signature()).replace("'", "''") + QStringLiteral("',fecha = ") + kFecha +
           QStringLiteral("  where idcatalogo = '001' and idarticulo = 'MT-500'");
}

const QStringList kExpectedInserts = {
    kInsertHead + "'001','NEW-1','','',0,0,'8205.40.00.000X','','','07','07',0,'1','',0)",
    kInsertHead +
        "'001','NEW-2','TORNILLO','311',0,02.5000,'7318.15.00.000Z','S','AA(X)','01','01',2.5,'2','07',1.5)",
};

void configure()
{
    SharedState &s = shared();
    s.INTCAT = QStringLiteral("001");
    s.PRCESM = QStringLiteral("1");
    s.INTDUN = QStringLiteral("07");
    s.sInternoActual = kShipment;
}

QVariant cal(TestEnv &env, const QString &query)
{
    return env.scalarCalvera(QStringLiteral("INTERNOS"), query);
}

int calCount(TestEnv &env, const QString &table, const QString &shipment = kShipment)
{
    return cal(env, QStringLiteral("select count(*) from %1 where interno = '%2'").arg(table, shipment))
        .toInt();
}

QVariant catalogue(TestEnv &env, const QString &article, const QString &column)
{
    return cal(env,
               QStringLiteral("select %1 from catarticulos where idcatalogo = '001' and idarticulo = '%2'")
                   .arg(column, article));
}

QVariant subitem(TestEnv &env, const QString &article, const QString &column)
{
    return cal(env, QStringLiteral("select %1 from subitems where interno = 'T1' and idarticulo = '%2'")
                        .arg(column, article));
}

QStringList only(const QStringList &statements, const QString &prefix)
{
    QStringList out;
    for (const QString &s : statements)
        if (s.startsWith(prefix)) out << s;
    return out;
}

} // namespace

class TestTransfer : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void setAnsiWritesNumbersInEveryLocale()
    {
        TestEnv::useComma();
        QVariant v = QStringLiteral("12,5");
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("12.5"));
        v = QStringLiteral("03,5000");
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("03.5000"));
        v = QStringLiteral("-7,25");
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("-7.25"));
        v = QStringLiteral("1.234,5"); // grouped: the value counts, not the characters
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("1234.5"));
        v = 12.5;
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("12.5"));
        v = QVariant();
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("0"));
        QCOMPARE(v, QVariant(0)); // reset on the caller's side too
        v = QStringLiteral("abc");
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("0"));
        QCOMPARE(v, QVariant(0));
        v = QString();
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("0"));

        TestEnv::usePoint();
        v = QStringLiteral("1,234"); // a group separator never becomes a decimal point
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("1234"));
        v = QStringLiteral("02.5000");
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("02.5000"));
        v = 0.1 + 0.2;
        QCOMPARE(TransferDriver::setAnsi(v), QStringLiteral("0.3"));
    }

    void unitPriceRoundsTotalThenQuotient()
    {
        for (bool comma : {true, false}) {
            comma ? TestEnv::useComma() : TestEnv::usePoint();
            const QChar sep = comma ? QLatin1Char(',') : QLatin1Char('.');
            QCOMPARE(TransferDriver::unitPrice(100.0, 3.0).toString(),
                     QStringLiteral("33") + sep + QStringLiteral("3333"));
            QCOMPARE(TransferDriver::unitPrice(5.0, 2.0).toString(),
                     QStringLiteral("02") + sep + QStringLiteral("5000"));
            // The total is rounded to cents before the division: 10.005 -> 10.01.
            QCOMPARE(TransferDriver::unitPrice(10.005, 1.0).toString(),
                     QStringLiteral("10") + sep + QStringLiteral("0100"));
            QVERIFY(TransferDriver::unitPrice(QVariant(), 2.0).isNull());
            QVERIFY(TransferDriver::unitPrice(5.0, QVariant()).isNull());
            // A Null total with a zero quantity stays Null: no division happens.
            QVERIFY(TransferDriver::unitPrice(QVariant(), 0.0).isNull());
            try {
                TransferDriver::unitPrice(5.0, 0.0);
                QFAIL("a zero quantity must fail");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.number(), 11L);
                QCOMPARE(e.description(), QStringLiteral("División por cero"));
            }
        }
    }

    // The catalogue's fecha comes from a clock that reads the local time to the second and follows it.
    void systemClockGivesLocalTimeToTheSecond()
    {
        auto clock = TransferDriver::systemClock();
        const QDateTime before = QDateTime::currentDateTime();
        const QDateTime first = clock();
        QCOMPARE(first.timeSpec(), Qt::LocalTime);
        QCOMPARE(first.time().msec(), 0);
        QVERIFY(std::abs(first.msecsTo(before)) < 1000);
        QTest::qWait(1100);
        const QDateTime later = clock();
        QVERIFY2(later.toSecsSinceEpoch() > first.toSecsSinceEpoch(), qPrintable(later.toString()));
        QVERIFY(later <= QDateTime::currentDateTime());
    }

    void quitarComaFinal()
    {
        QString t = QStringLiteral("a = 1,  ");
        QCOMPARE(modGlobal::QuitarComaFinal(t), QStringLiteral("a = 1"));
        QCOMPARE(t, QStringLiteral("a = 1"));
        t = QStringLiteral("fecha = 'x' ");
        QCOMPARE(modGlobal::QuitarComaFinal(t), QStringLiteral("fecha = 'x' "));
        t = QStringLiteral("   ");
        QCOMPARE(modGlobal::QuitarComaFinal(t), QStringLiteral("   "));
        t = QString();
        QCOMPARE(modGlobal::QuitarComaFinal(t), QString());
        t = QStringLiteral(",");
        QCOMPARE(modGlobal::QuitarComaFinal(t), QString());
    }

    void signatureNamesUserAndVersion()
    {
        const QString user = modGlobal::ObtenerUsuario();
        QVERIFY(!user.isEmpty());
        QVERIFY(user.size() <= 255);
        QCOMPARE(TransferDriver::signature(), user + QStringLiteral(" @[Planexo Generico v.%1.%2.%3]")
                                                         .arg(planexo::version::major)
                                                         .arg(planexo::version::minor)
                                                         .arg(planexo::version::revision));
    }

    void preCheckRefusesArticlesToReview()
    {
        TestEnv env;
        env.connect();
        configure();
        addArt(
            env,
            "1,'MT-500','X',NULL,1,1,1,1,1,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',NULL,'A','OK'");
        addArt(
            env,
            "2,'NEW-1','Y',NULL,1,1,1,1,1,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',NULL,NULL,NULL");
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral("Hay registros para depurar.\r\n\r\nHaga click en el boton \"DATOS CON ERRORES\""),
            Icon::Exclamation);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(progress.events, QStringList{QStringLiteral("caption:Validando datos...")});
        QCOMPARE(calCount(env, "caratula"), 0);
        QCOMPARE(calCount(env, "subitems"), 0);

        // "POS" stops it as well; an empty state with "OK" does not.
        env.exec("update ART set PRCCRC = 'POS' where ARTORD = 2");
        script.expectMessage(
            QStringLiteral("Hay registros para depurar.\r\n\r\nHaga click en el boton \"DATOS CON ERRORES\""),
            Icon::Exclamation);
        QVERIFY(!TransferDriver(shared(), progress).FRAM3_Transfer_A_Validar());
        env.exec("update ART set PRCCRC = 'OK', PRCEST = '' where ARTORD = 2");
        QVERIFY(TransferDriver(shared(), progress).FRAM3_Transfer_A_Validar());
        VERIFY_SCRIPT(script);
    }

    void preCheckFailureIsReported()
    {
        TestEnv env;
        env.connect();
        configure();
        env.exec("drop table ART");
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral(
                "no such table: ART\r\n\r\n1 - seccion [Planexo.frmMain_FRAM3_Transfer_A_Validar]"),
            Icon::Critical);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(progress.caption(), QStringLiteral("Validando datos..."));
    }

    void freshTransfer_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::newRow("comma") << true;
        QTest::newRow("point") << false;
    }
    void freshTransfer()
    {
        QFETCH(bool, comma);
        comma ? TestEnv::useComma() : TestEnv::usePoint();
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Se transfirio 3 articulos en el interno T1"), Icon::Information);
        RecordingProgress progress;
        QStringList statements;
        TransferDriver driver(shared(), progress);
        driver.setStatementObserver([&](const QString &s) { statements << s; });
        driver.setClock([] { return kNow; });
        driver.FRM3_Tranferir();
        VERIFY_SCRIPT(script);

        QCOMPARE(only(statements, "insert into subitems"), kExpectedSubitems);
        QCOMPARE(only(statements, "update CATARTICULOS"), QStringList{expectedUpdateOfMt500()});
        QCOMPARE(only(statements, "insert into CATARTICULOS"), kExpectedInserts);
        QCOMPARE(statements.first(), QStringLiteral("select count(INTNRO) as Cant from ART where INTNRO = "
                                                    "'T1' and (PRCCRC <> 'OK' or PRCCRC is null)"));
        QCOMPARE(statements.value(1), QStringLiteral("select interno from caratula where interno = 'T1'"));
        QCOMPARE(statements.value(2), QStringLiteral("insert into caratula (interno) values ('T1')"));
        QCOMPARE(statements.value(3),
                 QStringLiteral("select * from ART where INTNRO = 'T1' and PRCCRC = 'OK' order by ARTORD"));
        QVERIFY(statements.contains(QStringLiteral("select * from ART where INTNRO = 'T1' order by ARTORD")));
        QVERIFY(statements.contains(QStringLiteral(
            "select idarticulo from catarticulos where idcatalogo = '001' and idarticulo = 'NEW-2'")));
        QCOMPARE(statements.last(),
                 QStringLiteral("select count(interno) as Total from subitems where interno = 'T1'"));

        const QStringList expectedEvents = {"caption:Validando datos...",
                                            "caption:Transfiriendo al Calvera Windows...",
                                            "visible:1",
                                            "max:100",
                                            "value:1",
                                            "max:3",
                                            "value:1",
                                            "value:2",
                                            "value:3",
                                            "caption:Actualizando catalogo...",
                                            "max:100",
                                            "value:1",
                                            "max:3",
                                            "value:1",
                                            "value:2",
                                            "value:3",
                                            "caption:Fin de proceso",
                                            "visible:0"};
        QCOMPARE(progress.events, expectedEvents);

        // What Calvera holds.
        QCOMPARE(calCount(env, "caratula"), 1);
        QCOMPARE(calCount(env, "subitems"), 3);
        QCOMPARE(subitem(env, "MT-500", "descripcion").toString(), QStringLiteral("MARTILLO O'NEIL"));
        QCOMPARE(subitem(env, "MT-500", "Preciounitario").toDouble(), 33.3333);
        QCOMPARE(subitem(env, "MT-500", "KGNETO").toDouble(), 12.5);
        QCOMPARE(subitem(env, "NEW-2", "Preciounitario").toDouble(), 2.5);
        QCOMPARE(subitem(env, "NEW-2", "KGNETO").toDouble(), 0.13);
        QCOMPARE(subitem(env, "NEW-2", "valorderesp").toDouble(), 1.5);
        QCOMPARE(subitem(env, "NEW-1", "Cantidad").toDouble(), 0.0);
        QCOMPARE(subitem(env, "NEW-1", "descripcion").toString(), QString());
        QVERIFY(!subitem(env, "NEW-1", "descripcion").isNull());

        // The catalogue: MT-500 updated, the new ones inserted.
        QCOMPARE(catalogue(env, "MT-500", "preciounitario").toDouble(), 33.33);
        QCOMPARE(catalogue(env, "MT-500", "descripcion").toString(), QStringLiteral("MARTILLO O'NEIL"));
        QCOMPARE(catalogue(env, "MT-500", "usuario").toString(), TransferDriver::signature());
        QCOMPARE(catalogue(env, "MT-500", "fecha").toString(), QStringLiteral("2026-12-01 08:30:00"));
        QCOMPARE(catalogue(env, "NEW-2", "preciounitario").toDouble(), 2.5);
        QCOMPARE(catalogue(env, "NEW-2", "idpais").toString(), QStringLiteral("311"));
        QVERIFY(catalogue(env, "NEW-2", "descripcion_maria").isNull());
        QVERIFY(catalogue(env, "NEW-2", "usuario").isNull());
        QVERIFY(catalogue(env, "NEW-2", "fecha").isNull());
        QCOMPARE(catalogue(env, "NEW-1", "idpais").toString(), QString());
        QCOMPARE(catalogue(env, "NEW-1", "preciounitario").toDouble(), 0.0);
    }

    void updateSkipsBlankValues()
    {
        TestEnv env;
        env.connect();
        configure();
        // Found article with a blank position, Null unit price and nothing optional.
        addArt(env, "1,'MT-500','  ',NULL,NULL,NULL,2,NULL,10,'',' "
                    "',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,'A','OK'");
        ScriptedInteraction script;
        RecordingProgress progress;
        QStringList statements;
        TransferDriver driver(shared(), progress);
        driver.setStatementObserver([&](const QString &s) { statements << s; });
        driver.setClock([] { return kNow; });
        QVERIFY(driver.FRAM3_Transfer_C_ActualCAT());
        VERIFY_SCRIPT(script);
        QCOMPARE(only(statements, "update CATARTICULOS"),
                 QStringList{
                     QStringLiteral("update CATARTICULOS set cantidad = 0,Preciounitario = 0,usuario = '") +
                     QString(TransferDriver::signature()).replace("'", "''") + QStringLiteral("',fecha = ") +
                     kFecha + QStringLiteral("  where idcatalogo = '001' and idarticulo = 'MT-500'")});
        QCOMPARE(catalogue(env, "MT-500", "ncm").toString(), QStringLiteral("8205.20.00.000K"));
        QCOMPARE(catalogue(env, "MT-500", "descripcion").toString(),
                 QStringLiteral("MARTILLO CARPINTERO 500G"));
        QCOMPARE(catalogue(env, "MT-500", "preciounitario").toDouble(), 0.0);
        QCOMPARE(catalogue(env, "MT-500", "idpais").toString(), QStringLiteral("310"));
        QCOMPARE(progress.events, (QStringList{"max:100", "value:1", "max:1", "value:1"}));
    }

    // Not blank means not empty after trimming blanks: a tab or a line break is a value and is written.
    void updateTrimsBlanksOnly()
    {
        TestEnv env;
        env.connect();
        configure();
        addArt(env, "1,'MT-500',' \t ',NULL,NULL,NULL,2,NULL,10,'',' ',"
                    "'\n',NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL,'A','OK'");
        ScriptedInteraction script;
        RecordingProgress progress;
        QStringList statements;
        TransferDriver driver(shared(), progress);
        driver.setStatementObserver([&](const QString &s) { statements << s; });
        driver.setClock([] { return kNow; });
        QVERIFY(driver.FRAM3_Transfer_C_ActualCAT());
        VERIFY_SCRIPT(script);
        const QStringList updates = only(statements, "update CATARTICULOS");
        QCOMPARE(updates.size(), 1);
        QVERIFY2(
            updates.first().startsWith(
                "update CATARTICULOS set descripcion = ' \t ',cantidad = 0,Preciounitario = 0,sufijos = '\n',"
                "usuario = '"),
            qPrintable(updates.first()));
        QCOMPARE(catalogue(env, "MT-500", "descripcion").toString(), QStringLiteral(" \t "));
        QCOMPARE(catalogue(env, "MT-500", "sufijos").toString(), QStringLiteral("\n"));
    }

    void replaceQuestion_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void replaceQuestion()
    {
        QFETCH(bool, yes);
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        env.execCalvera("INTERNOS",
                        "insert into caratula (interno, observaciones) values ('T1', 'anterior')");
        env.execCalvera("INTERNOS",
                        "insert into subitems (interno, idarticulo) values ('T1', 'OLD-1'), ('T1', 'OLD-2'), "
                        "('T1', 'OLD-3'), ('T1', 'OLD-4')");
        env.execCalvera("INTERNOS", "insert into facturas (interno, nrofactura) values ('T1', 'F-1')");
        env.execCalvera("INTERNOS", "insert into subitems (interno, idarticulo) values ('OTRO', 'KEEP')");
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("El interno [ T1 ] ya existe.\r\n\r\nDesea reemplazarlo?"),
                             Icon::Question, Buttons::YesNo, yes ? Answer::Yes : Answer::No);
        if (yes)
            script.expectMessage(QStringLiteral("Se transfirio 3 articulos en el interno T1"),
                                 Icon::Information);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "subitems", "OTRO"), 1);
        if (yes) {
            QCOMPARE(calCount(env, "caratula"), 1);
            QVERIFY(cal(env, "select observaciones from caratula where interno = 'T1'").isNull());
            QCOMPARE(calCount(env, "subitems"), 3);
            QCOMPARE(cal(env, "select count(*) from subitems where idarticulo like 'OLD%'").toInt(), 0);
            QCOMPARE(calCount(env, "facturas"), 0);
            QCOMPARE(progress.caption(), QStringLiteral("Fin de proceso"));
            QVERIFY(!progress.barVisible());
        } else {
            QCOMPARE(cal(env, "select observaciones from caratula where interno = 'T1'").toString(),
                     QStringLiteral("anterior"));
            QCOMPARE(calCount(env, "subitems"), 4);
            QCOMPARE(calCount(env, "facturas"), 1);
            QCOMPARE(progress.caption(), QStringLiteral("Transfiriendo al Calvera Windows..."));
            QVERIFY(progress.barVisible());
            QCOMPARE(catalogue(env, "MT-500", "usuario").toString(), QStringLiteral("demo"));
        }
    }

    void repeatedArticleInsertedThenUpdated()
    {
        TestEnv env;
        env.connect();
        configure();
        addArt(
            env,
            "1,'REP-1','PRIMERA',NULL,1,1,2,5,10,'310','8205.40.00.000X',NULL,NULL,'07','07',NULL,NULL,NULL,"
            "'1','310',NULL,'OK'");
        addArt(env,
               "2,'REP-1','SEGUNDA','MARIA 2',1,1,4,7.5,30,'203','8205.20.00.000K',NULL,NULL,'07','07',NULL,"
               "NULL,NULL,'1','203',NULL,'OK'");
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Se transfirio 2 articulos en el interno T1"), Icon::Information);
        RecordingProgress progress;
        QStringList statements;
        TransferDriver driver(shared(), progress);
        driver.setStatementObserver([&](const QString &s) { statements << s; });
        driver.FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(only(statements, "insert into CATARTICULOS").size(), 1);
        QCOMPARE(only(statements, "update CATARTICULOS").size(), 1);
        QVERIFY(statements.indexOf(only(statements, "insert into CATARTICULOS").first()) <
                statements.indexOf(only(statements, "update CATARTICULOS").first()));
        QCOMPARE(cal(env, "select count(*) from catarticulos where idarticulo = 'REP-1'").toInt(), 1);
        QCOMPARE(catalogue(env, "REP-1", "descripcion").toString(), QStringLiteral("SEGUNDA"));
        QCOMPARE(catalogue(env, "REP-1", "preciounitario").toDouble(), 7.5);
        QCOMPARE(catalogue(env, "REP-1", "ncm").toString(), QStringLiteral("8205.20.00.000K"));
        QCOMPARE(catalogue(env, "REP-1", "idpais").toString(), QStringLiteral("203"));
        QCOMPARE(catalogue(env, "REP-1", "descripcion_maria").toString(), QStringLiteral("MARIA 2"));
    }

    // Another workstation adds an article to the catalogue between this one's lookup and insert:
    // the refused insert is followed by the update that the lookup would have chosen.
    void articleAddedMeanwhileIsUpdated()
    {
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Se transfirio 3 articulos en el interno T1"), Icon::Information);
        RecordingProgress progress;
        QStringList statements;
        TransferDriver driver(shared(), progress);
        driver.setClock([] { return kNow; });
        driver.setStatementObserver([&](const QString &s) {
            statements << s;
            if (s.startsWith(QStringLiteral("insert into CATARTICULOS")) &&
                s.contains(QStringLiteral("'NEW-2'")))
                env.execCalvera("INTERNOS",
                                "insert into catarticulos (idcatalogo, idarticulo, descripcion, usuario) "
                                "values ('001', 'NEW-2', 'OTRO PUESTO', 'otro')");
        });
        driver.FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        const QStringList catalogueStatements =
            only(statements, "insert into CATARTICULOS") + only(statements, "update CATARTICULOS");
        QCOMPARE(catalogueStatements.size(), 4);
        QCOMPARE(
            only(statements, "update CATARTICULOS").last(),
            QStringLiteral("update CATARTICULOS set descripcion = 'TORNILLO',cantidad = 0,Preciounitario = "
                           "2.5,ncm = '7318.15.00.000Z',lapi = 'S',sufijos = 'AA(X)',idunidad = '01',"
                           "estadistica = '01',valorrelacionestadistica = 2.5,EstadoMerc = '2',deresp = '07',"
                           "valorderesp = 1.5,descripcion_maria = 'TORNILLO DE ACERO',idpais = '310',"
                           "usuario = '") +
                QString(TransferDriver::signature()).replace("'", "''") + QStringLiteral("',fecha = ") +
                kFecha + QStringLiteral("  where idcatalogo = '001' and idarticulo = 'NEW-2'"));
        QCOMPARE(cal(env, "select count(*) from catarticulos where idarticulo = 'NEW-2'").toInt(), 1);
        QCOMPARE(catalogue(env, "NEW-2", "descripcion").toString(), QStringLiteral("TORNILLO"));
        QCOMPARE(catalogue(env, "NEW-2", "idpais").toString(), QStringLiteral("310"));
        QCOMPARE(catalogue(env, "NEW-2", "usuario").toString(), TransferDriver::signature());
        QCOMPARE(progress.caption(), QStringLiteral("Fin de proceso"));
    }

    void zeroQuantityStopsItemsAtThatArticle()
    {
        TestEnv env;
        env.connect();
        configure();
        addArt(
            env,
            "1,'A-1','UNO',NULL,1,1,2,5,10,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',NULL,NULL,'OK'");
        addArt(env, "2,'A-2','DOS',NULL,1,1,0,NULL,10,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',NULL,"
                    "NULL,'OK'");
        addArt(
            env,
            "3,'A-3','TRES',NULL,1,1,1,5,5,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',NULL,NULL,'OK'");
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral("División por cero\r\n\r\n11 - seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]"),
            Icon::Critical);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "caratula"), 1);
        QCOMPARE(calCount(env, "subitems"), 1);
        QCOMPARE(subitem(env, "A-1", "descripcion").toString(), QStringLiteral("UNO"));
        QCOMPARE(progress.caption(), QStringLiteral("Transfiriendo al Calvera Windows..."));
        QVERIFY(progress.barVisible());
        QCOMPARE(cal(env, "select count(*) from catarticulos where idarticulo like 'A-%'").toInt(), 0);
    }

    void rejectedAndIgnoredItems()
    {
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        env.calveraTrigger("INTERNOS", "no_new2", "before insert", "subitems", "new.idarticulo = 'NEW-2'",
                           TestEnv::RowAction::Skip);
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral("Error Grabando registro en Calvera Windows: 0 Registros agregados\r\n\r\n1 - "
                           "seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]"),
            Icon::Critical);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "caratula"), 1);
        QCOMPARE(calCount(env, "subitems"), 2);
        QCOMPARE(progress.value(), 2);

        // A rejected row reports the database's own text; the second run asks before replacing.
        env.dropCalveraTrigger("INTERNOS", "no_new2", "subitems");
        env.calveraTrigger("INTERNOS", "no_new1", "before insert", "subitems", "new.idarticulo = 'NEW-1'",
                           TestEnv::RowAction::Refuse, "rechazado");
        script.expectMessage(QStringLiteral("El interno [ T1 ] ya existe.\r\n\r\nDesea reemplazarlo?"),
                             Icon::Question, Buttons::YesNo, Answer::Yes);
        script.expectMessage(TestEnv::calveraError(kInternos, "rechazado", "rechazado") + "\r\n\r\n" +
                                 QString::number(TestEnv::calveraErrorNumber(1811)) +
                                 " - seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]",
                             Icon::Critical);
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "subitems"), 1);
        QCOMPARE(subitem(env, "MT-500", "idcatalogo").toString(), QStringLiteral("001"));
    }

    // A refusal that undoes a whole transaction (a trigger's RAISE(ROLLBACK)) undoes on Calvera only
    // the refused row when each item is written alone: the items before it stay, and a second run
    // replaces them.
    void itemRefusalRollingBackKeepsEarlierItems()
    {
        if (TestEnv::onServer()) QSKIP("RAISE(ROLLBACK) is SQLite's");
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        env.execCalvera("INTERNOS", "create trigger no_new2 before insert on subitems when new.idarticulo = "
                                    "'NEW-2' begin select raise(rollback, 'rechazado'); end");
        ScriptedInteraction script;
        script.expectMessage(TestEnv::calveraError(kInternos, "rechazado", "rechazado") + "\r\n\r\n" +
                                 QString::number(TestEnv::calveraErrorNumber(1811)) +
                                 " - seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]",
                             Icon::Critical);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "caratula"), 1);
        QCOMPARE(calCount(env, "subitems"), 2);
        QCOMPARE(subitem(env, "NEW-1", "fob").toDouble(), 50.0);
        QCOMPARE(progress.value(), 2);
        QCOMPARE(progress.caption(), QStringLiteral("Transfiriendo al Calvera Windows..."));

        env.execCalvera("INTERNOS", "drop trigger no_new2");
        script.expectMessage(QStringLiteral("El interno [ T1 ] ya existe.\r\n\r\nDesea reemplazarlo?"),
                             Icon::Question, Buttons::YesNo, Answer::Yes);
        script.expectMessage(QStringLiteral("Se transfirio 3 articulos en el interno T1"), Icon::Information);
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "subitems"), 3);
    }

    void catalogueInsertRejectedAtStep630()
    {
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        env.calveraTrigger("INTERNOS", "no_new2", "before insert", "catarticulos", "new.idarticulo = 'NEW-2'",
                           TestEnv::RowAction::Refuse, "catalogo cerrado");
        ScriptedInteraction script;
        script.expectMessage(TestEnv::calveraError(kInternos, "catalogo cerrado", "catalogo cerrado") +
                                 "\r\n\r\n" + QString::number(TestEnv::calveraErrorNumber(1811)) +
                                 " - seccion [Planexo.frmMain_FRAM3_Transfer_C_ActualCAT] L630",
                             Icon::None);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(progress.caption(), QStringLiteral("Actualizando catalogo..."));
        QVERIFY(progress.barVisible());
        QCOMPARE(calCount(env, "subitems"), 3);
        QCOMPARE(catalogue(env, "MT-500", "preciounitario").toDouble(), 33.33);
        QCOMPARE(catalogue(env, "NEW-1", "idarticulo").toString(), QStringLiteral("NEW-1"));
        QVERIFY(catalogue(env, "NEW-2", "idarticulo").isNull());
    }

    // Texts reach Calvera exactly as the work database holds them (accents, a character outside the
    // basic plane, quotes, blanks at the ends) and as texts, in the items, the inserted and the
    // updated catalogue rows; Null and blank texts follow their own rules.
    void textsReachCalveraAsStored()
    {
        TestEnv env;
        env.connect();
        configure();
        const QString accented = QStringLiteral("CAÑO DE ACERO Ø12 «INOX» ó'é \U0001F527 ");
        const QString maria = QStringLiteral("  Tubería galvanizada – 1/2\"");
        addArt(env,
               "1,'ÑU-1','CAÑO DE ACERO Ø12 «INOX» ó''é \U0001F527 ','  Tubería galvanizada – 1/2\"',1,1,"
               "2,10,20,'310','7306.30.00.000K','AA(ÑANDÚ)','N','07','07',NULL,'',NULL,'1','Perú','A','OK'");
        addArt(env, "2,'V\"1\\''X','   ',NULL,1,1,1,5,5,'310','7306.30.00.000K',NULL,NULL,'07','07',NULL,"
                    "NULL,NULL,'1','310','A','OK'");
        env.execCalvera("INTERNOS", "insert into catarticulos (idcatalogo, idarticulo, descripcion, usuario) "
                                    "values ('001', 'V\"1\\''X', 'SIN CAMBIO', 'otro')");
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Se transfirio 2 articulos en el interno T1"), Icon::Information);
        RecordingProgress progress;
        TransferDriver driver(shared(), progress);
        QStringList statements;
        driver.setStatementObserver([&](const QString &s) { statements << s; });
        driver.setClock([] { return kNow; });
        driver.FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        // The code with quotes and a backslash is found in the catalogue: updated, never inserted.
        QCOMPARE(only(statements, "insert into CATARTICULOS").size(), 1);
        QCOMPARE(only(statements, "update CATARTICULOS").size(), 1);

        const QString type =
            TestEnv::onServer() ? QStringLiteral("pg_typeof(%1)::text") : QStringLiteral("typeof(%1)");
        QCOMPARE(subitem(env, QStringLiteral("ÑU-1"), "descripcion").toString(), accented);
        QCOMPARE(subitem(env, QStringLiteral("ÑU-1"), "Descripcion_Maria").toString(), maria);
        QCOMPARE(subitem(env, QStringLiteral("ÑU-1"), "sufijos").toString(), QStringLiteral("AA(ÑANDÚ)"));
        QCOMPARE(subitem(env, QStringLiteral("ÑU-1"), "Preciounitario").toDouble(), 10.0);
        QCOMPARE(subitem(env, QStringLiteral("V\"1\\''X"), "descripcion").toString(), QStringLiteral("   "));
        QCOMPARE(subitem(env, QStringLiteral("V\"1\\''X"), "Descripcion_Maria").toString(), QString(""));
        QVERIFY(!subitem(env, QStringLiteral("V\"1\\''X"), "Descripcion_Maria").isNull());
        if (!TestEnv::onServer()) {
            QCOMPARE(subitem(env, QStringLiteral("ÑU-1"), type.arg("descripcion")).toString(),
                     QStringLiteral("text"));
            QCOMPARE(subitem(env, QStringLiteral("V\"1\\''X"), type.arg("Descripcion_Maria")).toString(),
                     QStringLiteral("text"));
            QCOMPARE(catalogue(env, QStringLiteral("ÑU-1"), type.arg("idpais")).toString(),
                     QStringLiteral("text"));
        }
        // Inserted: the country from PRCORI, as stored.
        QCOMPARE(catalogue(env, QStringLiteral("ÑU-1"), "descripcion").toString(), accented);
        QCOMPARE(catalogue(env, QStringLiteral("ÑU-1"), "idpais").toString(), QStringLiteral("Perú"));
        // Updated: a description of blanks leaves the catalogue's own.
        QCOMPARE(catalogue(env, QStringLiteral("V\"1\\''X"), "descripcion").toString(),
                 QStringLiteral("SIN CAMBIO"));
        QCOMPARE(catalogue(env, QStringLiteral("V\"1\\''X"), "usuario").toString(),
                 TransferDriver::signature());
    }

    // Negative and vanishing amounts: the statement shows the formatted texts and Calvera stores the
    // numbers they read as (a total that rounds to no cents as 0, without a sign).
    void negativeAndVanishingAmounts()
    {
        TestEnv env;
        env.connect();
        configure();
        addArt(env, "1,'NEG-1',NULL,NULL,-0.004,NULL,2,NULL,-12.345,'310','7306.30.00.000K',NULL,NULL,'07',"
                    "'07',-1.5,NULL,1e-7,'1','310','A','OK'");
        addArt(env, "2,'NEG-2',NULL,NULL,NULL,NULL,1,NULL,-0.001,'310','7306.30.00.000K',NULL,NULL,'07','07',"
                    "NULL,NULL,NULL,'1','310','A','OK'");
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Se transfirio 2 articulos en el interno T1"), Icon::Information);
        RecordingProgress progress;
        QStringList statements;
        TransferDriver driver(shared(), progress);
        driver.setStatementObserver([&](const QString &s) { statements << s; });
        driver.setClock([] { return kNow; });
        driver.FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(only(statements, "insert into subitems"),
                 QStringList({kSubitemsHead + "'NEG-1','001','','','T1','7306.30.00.000K','07',2,-06.1750,'310',"
                                              "0.00,-12.35,'1','07',-1.5,'','',1E-07,0,'N','')",
                              kSubitemsHead + "'NEG-2','001','','','T1','7306.30.00.000K','07',1,00.0000,'310',"
                                              "0.00,00.00,'1','07',0,'','',0,0,'N','')"}));
        QCOMPARE(subitem(env, QStringLiteral("NEG-1"), "Preciounitario").toDouble(), -6.175);
        QCOMPARE(subitem(env, QStringLiteral("NEG-1"), "fob").toDouble(), -12.35);
        QCOMPARE(subitem(env, QStringLiteral("NEG-1"), "valorrelacionestadistica").toDouble(), -1.5);
        QCOMPARE(subitem(env, QStringLiteral("NEG-1"), "valorderesp").toDouble(), 1e-7);
        QCOMPARE(subitem(env, QStringLiteral("NEG-2"), "fob").toDouble(), 0.0);
        QCOMPARE(subitem(env, QStringLiteral("NEG-2"), "Preciounitario").toDouble(), 0.0);
        QCOMPARE(catalogue(env, QStringLiteral("NEG-1"), "Preciounitario").toDouble(), -6.175);
        QCOMPARE(catalogue(env, QStringLiteral("NEG-1"), "valorderesp").toDouble(), 1e-7);
    }

    // Bound UTF-8 texts are stored as the texts they hold whatever the database's text encoding.
    void boundUtf8TextsInEitherEncoding()
    {
        if (TestEnv::onServer()) QSKIP("SQLite's encodings");
        QTemporaryDir dir;
        for (const char *encoding : {"UTF-8", "UTF-16le"}) {
            const QString file = dir.filePath(QLatin1String(encoding) + QStringLiteral(".sqlite"));
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mk"));
                db.setDatabaseName(file);
                QVERIFY(db.open());
                QSqlQuery q(db);
                QVERIFY(q.exec(QStringLiteral("PRAGMA encoding = '%1'").arg(QLatin1String(encoding))));
                QVERIFY(q.exec(QStringLiteral("create table t (a text, b real, c text)")));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("mk"));
            DataConnection dc;
            dc.openSqlite(QStringLiteral("enc"), file, QStringLiteral("test"));
            QCOMPARE(dc.storesUtf8(), QByteArray(encoding) == "UTF-8");
            const QString text = QStringLiteral("Ñandú «ó» \U0001F527");
            QCOMPARE(dc.EjecutarBound(QStringLiteral("insert into t (a, b, c) values (?, ?, '?')"),
                                      {text.toUtf8(), 2.5}),
                     1LL);
            QCOMPARE(dc.EjecutarBound(QStringLiteral("insert into t (a, b, c) values (?, ?, '?')"),
                                      {QByteArray(""), 3.5}),
                     1LL);
            dc.Sql = QStringLiteral("select a, typeof(a) as ta, b, c from t order by b");
            Recordset rs;
            QVERIFY(dc.CrearRs(rs));
            QCOMPARE(rs.Fields(QStringLiteral("a")).toString(), text);
            QCOMPARE(rs.Fields(QStringLiteral("ta")).toString(), QStringLiteral("text"));
            QCOMPARE(rs.Fields(QStringLiteral("c")).toString(), QStringLiteral("?"));
            rs.MoveNext();
            QCOMPARE(rs.Fields(QStringLiteral("ta")).toString(), QStringLiteral("text"));
            QCOMPARE(rs.Fields(QStringLiteral("a")).toString(), QString());
        }
    }

    void zeroQuantityOnNewArticleFailsAtStep520()
    {
        TestEnv env;
        env.connect();
        configure();
        addArt(env, "1,'NEW-1','UNO',NULL,1,1,2,5,10,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',NULL,"
                    "NULL,'OK'");
        addArt(env, "2,'NEW-0','CERO',NULL,1,1,0,NULL,10,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',"
                    "NULL,NULL,'ERR'");
        addArt(env, "3,'NEW-3','TRES',NULL,1,1,1,5,5,'310',NULL,NULL,NULL,'07',NULL,NULL,NULL,NULL,'1',NULL,"
                    "NULL,'OK'");
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral(
                "División por cero\r\n\r\n11 - seccion [Planexo.frmMain_FRAM3_Transfer_C_ActualCAT] L520"),
            Icon::None);
        RecordingProgress progress;
        QVERIFY(!TransferDriver(shared(), progress).FRAM3_Transfer_C_ActualCAT());
        VERIFY_SCRIPT(script);
        QCOMPARE(catalogue(env, "NEW-1", "preciounitario").toDouble(), 5.0);
        QVERIFY(catalogue(env, "NEW-0", "idarticulo").isNull());
        QVERIFY(catalogue(env, "NEW-3", "idarticulo").isNull());

        // The same article already in the catalogue is updated: no division there.
        env.execCalvera("INTERNOS",
                        "insert into catarticulos (idcatalogo, idarticulo) values ('001', 'NEW-0')");
        QVERIFY(TransferDriver(shared(), progress).FRAM3_Transfer_C_ActualCAT());
        VERIFY_SCRIPT(script);
        QCOMPARE(catalogue(env, "NEW-0", "descripcion").toString(), QStringLiteral("CERO"));
        QCOMPARE(catalogue(env, "NEW-3", "preciounitario").toDouble(), 5.0);
    }

    void calveraCountingNothingWarns()
    {
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        env.calveraTrigger("INTERNOS", "vanish", "after insert", "subitems", QString(),
                           TestEnv::RowAction::Delete);
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("ERROR: No se transfirio los articulos en el interno T1"),
                             Icon::Exclamation);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(progress.caption(), QStringLiteral("Fin de proceso"));
        QVERIFY(!progress.barVisible());
    }

    void shipmentWithoutArticlesStopsSilentlyAfterHeader()
    {
        TestEnv env;
        env.connect();
        configure();
        ScriptedInteraction script;
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "caratula"), 1);
        QCOMPARE(calCount(env, "subitems"), 0);
        QCOMPARE(progress.caption(), QStringLiteral("Transfiriendo al Calvera Windows..."));
        QVERIFY(progress.barVisible());
    }

    void missingCalveraTableReportedByDriver()
    {
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        env.execCalvera("INTERNOS", "drop table subitems");
        ScriptedInteraction script;
        // B_Pasaje reports its own failure; the count is never reached.
        script.expectMessage(TestEnv::missingTable(kInternos, "subitems") + "\r\n\r\n" +
                                 QString::number(TestEnv::calveraErrorNumber(1)) +
                                 " - seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]",
                             Icon::Critical);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "caratula"), 1);
    }

    // Calvera's refusals read as Jet described them on either engine, with the engine's number (the
    // provider's on a server, whose failures also name the entities and the server): a command sent
    // alone, prepared, or behind another in one round trip.
    void calveraRefusalsReadAsJetDescribedThem()
    {
        TestEnv env;
        env.connect();
        DataConnection &calvera = shared().enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
        const QString unit = env.scalarCalvera("INTERNOS", "select min(id) from unidades").toString();
        QVERIFY(!unit.isEmpty());
        const QString duplicate =
            TestEnv::calveraError(kInternos, TestEnv::duplicateKeyText(), TestEnv::duplicateKeyText());
        const QString requiredText =
            QStringLiteral("El campo 'unidades.descripcion' no puede contener un valor Null porque la "
                           "propiedad Requerido para "
                           "este campo está establecida a True. Escriba un valor en este campo.");
        const QString required = TestEnv::calveraError(kInternos, requiredText, requiredText);
        const auto check = [&](const std::function<void()> &run, long sqliteNumber,
                               const QString &description) {
            try {
                run();
                QFAIL("Calvera took the command");
            } catch (const PlanexoError &e) {
                QCOMPARE(e.number(), TestEnv::calveraErrorNumber(sqliteNumber));
                QCOMPARE(e.description(), description);
            }
        };
        const QString insert = QStringLiteral("insert into unidades (id, descripcion) values ('") + unit +
                               QStringLiteral("', 'otra')");
        check(
            [&] {
                calvera.Sql = insert;
                calvera.Ejecutar();
            },
            1555, duplicate);
        check(
            [&] {
                calvera.run(Statement(QStringLiteral("insert into unidades (id, descripcion) values (?, ?)"),
                                      {unit, QStringLiteral("otra")}, Statement::Form::Utf8));
            },
            1555, duplicate);
        check([&] { calvera.run(Statement(QStringLiteral("insert into unidades (id) values ('ZZ9')"))); },
              1299, required);
        const DataConnection::CommandsResult result = calvera.runAll(
            {Statement(QStringLiteral("insert into unidades (id, descripcion) values ('ZZ8', 'nueva')")),
             Statement(insert)});
        QCOMPARE(result.affected, QList<long long>{1});
        QVERIFY(result.error);
        QCOMPARE(result.error->description(), duplicate);
        QCOMPARE(env.scalarCalvera("INTERNOS", "select count(*) from unidades where id = 'ZZ8'").toInt(), 1);
        if (TestEnv::onServer()) {
            // A text that is no number, refused by the server's numeric column.
            const QString mismatch =
                QStringLiteral("No coinciden los tipos de datos en la expresión de criterios.");
            check(
                [&] {
                    calvera.Sql =
                        QStringLiteral("insert into catarticulos (idcatalogo, idarticulo, cantidad) values "
                                       "('1', 'ZZ', 'once')");
                    calvera.Ejecutar();
                },
                0, TestEnv::calveraError(kInternos, QString(), mismatch));
        }
    }

    void driverReportsItsOwnFailures()
    {
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        ScriptedInteraction script;
        script.expectMessage(
            QStringLiteral("conexion perdida\r\n\r\n3709 - seccion [Planexo.FRAM3_Transferir]"), Icon::None);
        RecordingProgress progress;
        TransferDriver driver(shared(), progress);
        // The final count fails: the driver's own handler reports it and the caption stays.
        driver.setStatementObserver([](const QString &s) {
            if (s.startsWith(QStringLiteral("select count(interno)")))
                throw PlanexoError(3709, QStringLiteral("conexion perdida"), QStringLiteral("ADODB"));
        });
        driver.FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(progress.caption(), QStringLiteral("Actualizando catalogo..."));
        QVERIFY(progress.barVisible());
        QCOMPARE(calCount(env, "subitems"), 3);
    }

    // SQLite's own code for a full database is 13, VB's number for a type mismatch: the report gives
    // the database's text with the number as a component raises it (vbObjectError + 13).
    void fullCalveraDatabaseReportedAsSuch()
    {
        if (TestEnv::onServer())
            QSKIP("a SQLite file's page limit; a server's storage is not the program's to limit");
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        // The second item needs pages of its own, and the transfer's connection may add none.
        env.exec(QStringLiteral("update ART set ARTDSC = '%1' where ARTORD = 2").arg(QString(20000, 'X')));
        const int pages = cal(env, "pragma page_count").toInt();
        env.execCalvera("INTERNOS", QStringLiteral("pragma max_page_count = %1").arg(pages));
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("database or disk is full\r\n\r\n-2147221491 - seccion "
                                            "[Planexo.frmMain.FRAM3_Transfer_B_pasaje]"),
                             Icon::Critical);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QCOMPARE(calCount(env, "caratula"), 1);
        QCOMPARE(calCount(env, "subitems"), 1);
        QCOMPARE(progress.caption(), QStringLiteral("Transfiriendo al Calvera Windows..."));
        // The same failure raised by a component keeps its number apart from VB's runtime errors.
        QCOMPARE(errorNumberOf([&] {
                     env.execCalvera("INTERNOS",
                                     QStringLiteral("insert into caratula (interno, observaciones) "
                                                    "values ('T2', '%1')")
                                         .arg(QString(20000, 'Y')));
                 }),
                 -2147221504L + 13);
    }

    // Calvera's databases keep their journal mode; only the work database runs in WAL mode.
    void calveraSettingsUntouched()
    {
        if (TestEnv::onServer())
            QSKIP("the journal mode of Calvera's SQLite files; a server's settings are never set");
        TestEnv env;
        env.connect();
        configure();
        addThreeArticles(env);
        ScriptedInteraction script;
        script.expectMessage(QStringLiteral("Se transfirio 3 articulos en el interno T1"), Icon::Information);
        RecordingProgress progress;
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(script);
        QVERIFY(env.scalarCalvera("NCM", "select count(*) from sufidos").toInt() > 0);
        const auto journalMode = [&](const QString &file) {
            QString mode;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "journal-reader");
                db.setDatabaseName(env.dbFile(file));
                db.setConnectOptions("QSQLITE_OPEN_READONLY");
                QSqlQuery q(db);
                if (db.open() && q.exec("pragma journal_mode") && q.next()) mode = q.value(0).toString();
            }
            QSqlDatabase::removeDatabase("journal-reader");
            return mode;
        };
        for (const QString file : {"calvera_internos.sqlite", "calvera_ncm.sqlite"}) {
            QCOMPARE(journalMode(file), QStringLiteral("delete"));
            QVERIFY2(!QFile::exists(env.dbFile(file + "-wal")), qPrintable(file));
            QVERIFY2(!QFile::exists(env.dbFile(file + "-shm")), qPrintable(file));
        }
        QCOMPARE(journalMode("PlanexoGenericoOstrova.sqlite"), QStringLiteral("wal"));
        QCOMPARE(env.scalar("pragma synchronous").toInt(), 2); // FULL: a power cut keeps every commit
        shared().enlace.reset();
        QCOMPARE(journalMode("calvera_internos.sqlite"), QStringLiteral("delete"));
    }

    void throughTheMainWindow()
    {
        TestEnv::useComma();
        TestEnv env;
        env.connect();
        env.exec("insert into INTN (INTNRO, INTDSC) values ('B7', 'con articulos')");
        addArt(env,
               "1,'MT-500','MARTILLO',NULL,1,1,4,25.5,102,'310','8205.20.00.000K',NULL,NULL,'07','07',4,NULL,"
               "NULL,"
               "'1','310','A','OK'",
               QStringLiteral("B7"));
        env.setSetting("INTCAT", "001");
        env.setSetting("INTDUN", "07");
        env.setSetting("PRCESM", "1");
        ScriptedInteraction script;
        frmMain w(env.programFolder());
        w.Form_Load();
        QTreeWidget *list = w.fram1()->list();
        list->setCurrentItem(list->findItems(QStringLiteral("B7"), Qt::MatchExactly).value(0));
        auto *next = w.findChild<QPushButton *>("cmdSiguiente");
        QTest::mouseClick(next, Qt::LeftButton);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(shared().iPaso, qint16(3));
        QCOMPARE(next->text(), QStringLiteral("Transferir"));

        script.expectMessage(QStringLiteral("Se transfirio 1 articulos en el interno B7"), Icon::Information);
        QTest::mouseClick(next, Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(w.findChild<QLabel *>("Main_lbMensaje")->text(), QStringLiteral("Fin de proceso"));
        QVERIFY(w.findChild<QProgressBar *>("Main_PrB")->isHidden());
        QCOMPARE(cal(env, "select Preciounitario from subitems where interno = 'B7'").toDouble(), 25.5);
        QCOMPARE(cal(env, "select fob from subitems where interno = 'B7'").toDouble(), 102.0);
        QCOMPARE(catalogue(env, "MT-500", "preciounitario").toDouble(), 25.5);
        QVERIFY(!catalogue(env, "MT-500", "fecha").toString().startsWith("2026-11-02"));

        // Still step 3: a second click asks before replacing; No leaves everything as it is.
        script.expectMessage(QStringLiteral("El interno [ B7 ] ya existe.\r\n\r\nDesea reemplazarlo?"),
                             Icon::Question, Buttons::YesNo, Answer::No);
        QTest::mouseClick(next, Qt::LeftButton);
        VERIFY_SCRIPT(script);
        QCOMPARE(shared().iPaso, qint16(3));
        QCOMPARE(w.findChild<QLabel *>("Main_lbMensaje")->text(),
                 QStringLiteral("Transfiriendo al Calvera Windows..."));
        QVERIFY(!w.findChild<QProgressBar *>("Main_PrB")->isHidden());
        QCOMPARE(calCount(env, "subitems", "B7"), 1);
    }
};

QTEST_MAIN(TestTransfer)
#include "test_transfer.moc"
