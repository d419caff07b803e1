// The components against real SQLite files: the work database, Calvera's entities, recordsets,
// quoting, and the parameter file of the data-access manager.
#include "shared/SharedState.h"
#include "common/TestEnv.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/clPRINC.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestData : public QObject {
    Q_OBJECT

private:
    static void writeIni(const TestEnv &env, const QByteArray &text)
    {
        QFile f(env.dbFile(QStringLiteral("calvera.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void connectionString()
    {
        const QString s = oAlm::clGestor::connectionStringFor(QStringLiteral("/opt/Mis Programas/planexo/"));
        // A folder with blanks goes in unchanged and unquoted; no doubled separator.
        QCOMPARE(s, QStringLiteral("Provider=QSQLITE;Data Source=/opt/Mis Programas/planexo/db/PlanexoGenericoOstrova.sqlite"));
    }

    void workDatabaseRoundTrip()
    {
        TestEnv env;
        env.connect();
        oAlm::clGestor &g = *shared().gestor;
        g.Sql = QStringLiteral("insert into INTN (INTNRO, INTDSC) values (%1,%2)")
                    .arg(sql::text(QStringLiteral("O'Brien; --")), sql::text(QStringLiteral("Año \\ ñandú 🚢")));
        QCOMPARE(g.Ejecutar(), 1LL);
        Recordset rs;
        g.Sql = QStringLiteral("select * from INTN where INTNRO = ") + sql::text(QStringLiteral("O'Brien; --"));
        QVERIFY(g.CrearRs(rs));
        QCOMPARE(rs.RecordCount(), 1);
        // Field names are case-insensitive as in ADO.
        QCOMPARE(rs.Fields(QStringLiteral("intdsc")).toString(), QStringLiteral("Año \\ ñandú 🚢"));
        QCOMPARE(rs.Fields(QStringLiteral("IntNro")).toString(), QStringLiteral("O'Brien; --"));
        QCOMPARE(rs.AbsolutePosition(), 1);
        rs.MoveNext();
        QVERIFY(rs.Eof());
        QVERIFY_THROWS_EXCEPTION(PlanexoError, rs.Fields(QStringLiteral("INTNRO")));
        rs.MoveFirst();
        QVERIFY(!rs.Eof());
        QCOMPARE(errorNumberOf([&] { rs.Fields(QStringLiteral("NOPE")); }), 3265L);
        // An empty result: CrearRs answers no, EOF at once.
        g.Sql = QStringLiteral("select * from INTN where INTNRO = 'nadie'");
        QVERIFY(!g.CrearRs(rs));
        QVERIFY(rs.Eof());
        QCOMPARE(rs.RecordCount(), 0);
        // Ejecutar counts affected rows.
        g.Sql = QStringLiteral("delete from INTN where INTNRO = 'nadie'");
        QCOMPARE(g.Ejecutar(), 0LL);
    }

    void databaseErrorsCarryNativeCodes()
    {
        TestEnv env;
        env.connect();
        oAlm::clGestor &g = *shared().gestor;
        g.Sql = QStringLiteral("insert into INTN (INTNRO) values ('26001IC04000123')");
        try {
            g.Ejecutar();
            QFAIL("duplicate key accepted");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.number() & 0xff, 19L); // SQLITE_CONSTRAINT, extended code
            QVERIFY2(e.description().contains(QStringLiteral("UNIQUE")), qPrintable(e.description()));
        }
        // Strict tables refuse text in a numeric column, as the original engine did.
        g.Sql = QStringLiteral("insert into ART (INTNRO, ARTORD, ARTCAN) values ('X', 1, '11,00')");
        QVERIFY_THROWS_EXCEPTION(PlanexoError, g.Ejecutar());
        g.Sql = QStringLiteral("selec nothing");
        QVERIFY_THROWS_EXCEPTION(PlanexoError, g.Ejecutar());
        Recordset rs;
        QVERIFY_THROWS_EXCEPTION(PlanexoError, g.CrearRs(rs));
    }

    void connectFailures()
    {
        TestEnv env;
        // Missing file: never created.
        QVERIFY(QFile::remove(env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite"))));
        oAlm::clGestor g;
        g.CadenaConexion = oAlm::clGestor::connectionStringFor(env.programFolder());
        try {
            g.Conectar();
            QFAIL("connected to a missing file");
        } catch (const PlanexoError &e) {
            QVERIFY(e.description().contains(QStringLiteral("PlanexoGenericoOstrova.sqlite")));
        }
        QVERIFY(!QFile::exists(env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite"))));
        // A file that is not a database.
        QFile junk(env.dbFile(QStringLiteral("PlanexoGenericoOstrova.sqlite")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        QVERIFY_THROWS_EXCEPTION(PlanexoError, g.Conectar());
        // A statement before Conectar.
        oAlm::clGestor closed;
        closed.Sql = QStringLiteral("select 1");
        Recordset rs;
        QVERIFY_THROWS_EXCEPTION(PlanexoError, closed.CrearRs(rs));
    }

    void entitiesShareConnections()
    {
        TestEnv env;
        env.connect();
        EnlaceDatos::EDMain &m = *shared().enlace;
        DataConnection &internos = m.getDataConnectionByEntity(QStringLiteral("INTERNOS"));
        // The same object for repeated calls, and for an entity naming the same database.
        QCOMPARE(&m.getDataConnectionByEntity(QStringLiteral("INTERNOS")), &internos);
        QCOMPARE(&m.getDataConnectionByEntity(QStringLiteral("CATALOGOS")), &internos);
        DataConnection &ncm = m.getDataConnectionByEntity(QStringLiteral("NCM"));
        QVERIFY(&ncm != &internos);
        // The Sql written through one call's result is run through the next call's.
        m.getDataConnectionByEntity(QStringLiteral("NCM")).Sql =
            QStringLiteral("select [012] as estadistica from ncm where [001] = '8205.20.00' and [002] = '000'");
        Recordset rs;
        QVERIFY(m.getDataConnectionByEntity(QStringLiteral("NCM")).CrearRs(rs));
        QCOMPARE(rs.Fields(QStringLiteral("estadistica")).toString(), QStringLiteral("07"));
        internos.Sql = QStringLiteral("select count(*) as n from catarticulos where idcatalogo = '001'");
        QVERIFY(internos.CrearRs(rs));
        QVERIFY(rs.Fields(QStringLiteral("n")).toInt() >= 9);
        const QString date = m.getDateFormatbyEntity(QStringLiteral("CATALOGOS"),
                                                     QDateTime(QDate(2026, 3, 18), QTime(9, 5, 7)));
        QCOMPARE(date, QStringLiteral("'2026-03-18 09:05:07'"));
    }

    void parameterFileFailures()
    {
        TestEnv env;
        EnlaceDatos::EDMain m(env.programFolder());
        // An entity asked for before the parameters are loaded.
        QVERIFY_THROWS_EXCEPTION(PlanexoError, m.getDataConnectionByEntity(QStringLiteral("NCM")));
        m.LoadParameters();
        try {
            m.getDataConnectionByEntity(QStringLiteral("ADUANA"));
            QFAIL("unknown entity accepted");
        } catch (const PlanexoError &e) {
            QVERIFY(e.description().contains(QStringLiteral("ADUANA")));
            QVERIFY(e.description().contains(QStringLiteral("calvera.ini")));
        }
        // Malformed file.
        writeIni(env, "[INTERNOS\ndriver=QSQLITE\n");
        try {
            m.LoadParameters();
            QFAIL("malformed file accepted");
        } catch (const PlanexoError &e) {
            QVERIFY2(e.description().contains(QStringLiteral("calvera.ini")), qPrintable(e.description()));
        }
        // A section without its database.
        writeIni(env, "[NCM]\ndriver=QSQLITE\n");
        try {
            m.LoadParameters();
            QFAIL("incomplete entity accepted");
        } catch (const PlanexoError &e) {
            QVERIFY(e.description().contains(QStringLiteral("NCM")));
        }
        // A database file that does not exist, and an unknown driver.
        writeIni(env, "[NCM]\ndriver=QSQLITE\ndatabase=db/nada.sqlite\n[X]\ndriver=QFOO\ndatabase=x\n");
        m.LoadParameters();
        QVERIFY_THROWS_EXCEPTION(PlanexoError, m.getDataConnectionByEntity(QStringLiteral("NCM")));
        QVERIFY(!QFile::exists(env.dbFile(QStringLiteral("nada.sqlite"))));
        QVERIFY_THROWS_EXCEPTION(PlanexoError, m.getDataConnectionByEntity(QStringLiteral("X")));
        // Missing file.
        QVERIFY(QFile::remove(env.dbFile(QStringLiteral("calvera.ini"))));
        try {
            m.LoadParameters();
            QFAIL("missing file accepted");
        } catch (const PlanexoError &e) {
            QVERIFY(e.description().contains(QStringLiteral("calvera.ini")));
        }
    }

    void valueChecking()
    {
        TestEnv::useComma();
        cFMTX::PRINC f;
        QCOMPARE(f.EsNull(QVariant()), QString());
        QCOMPARE(f.EsNull(QVariant(QStringLiteral("abc"))), QStringLiteral("abc"));
        QCOMPARE(f.EsNull(QVariant(2.5)), QStringLiteral("2,5"));
        QCOMPARE(f.EsNull(QVariant(7)), QStringLiteral("7"));
        QCOMPARE(f.EsNumero(QVariant()), 0.0);
        QCOMPARE(f.EsNumero(QVariant(QString())), 0.0);
        QCOMPARE(f.EsNumero(QVariant(QStringLiteral("x1"))), 0.0);
        QCOMPARE(f.EsNumero(QVariant(QStringLiteral("2,5"))), 2.5);
        QCOMPARE(f.EsNumero(QVariant(12LL)), 12.0);
        oENTX::clEntorno e;
        QVERIFY(e.ExisteArchivo(QStringLiteral(PLANEXO_BUILD_DB_DIR "/calvera.ini")));
        QVERIFY(!e.ExisteArchivo(QStringLiteral(PLANEXO_BUILD_DB_DIR)));
        QVERIFY(!e.ExisteArchivo(QString()));
    }

    void quoting()
    {
        QCOMPARE(sql::text(QStringLiteral("it's")), QStringLiteral("'it''s'"));
        QCOMPARE(sql::text(QString()), QStringLiteral("''"));
        QCOMPARE(sql::text(QVariant()), QStringLiteral("''"));
        QString withNul = QStringLiteral("a");
        withNul += QChar(0);
        withNul += QLatin1Char('b');
        QCOMPARE(sql::text(withNul), QStringLiteral("'ab'"));
        const Dialect lite;
        QCOMPARE(lite.column(QStringLiteral("001")), QStringLiteral("[001]"));
        QCOMPARE(lite.concat({QStringLiteral("[001]"), QStringLiteral("'.'")}), QStringLiteral("[001] || '.'"));
        QCOMPARE(lite.left(QStringLiteral("sufijo"), 2), QStringLiteral("substr(sufijo,1,2)"));
        const Dialect pg(Dialect::Engine::PostgreSQL);
        QCOMPARE(pg.column(QStringLiteral("001")), QStringLiteral("\"001\""));
        QCOMPARE(pg.left(QStringLiteral("sufijo"), 2), QStringLiteral("left(sufijo,2)"));
        // Every quoted text survives a round trip through the database, whatever it holds.
        TestEnv env;
        env.connect();
        QString nasty = QStringLiteral("'; drop table INTN; -- \\ \" ' '' \t\n\r");
        nasty += QString(10000, QLatin1Char('x'));
        env.exec(QStringLiteral("insert into INTN (INTNRO, INTDSC) values ('Q', %1)").arg(sql::text(nasty)));
        QCOMPARE(env.scalar(QStringLiteral("select INTDSC from INTN where INTNRO = 'Q'")).toString(), nasty);
    }
};

QTEST_GUILESS_MAIN(TestData)
#include "test_data.moc"
