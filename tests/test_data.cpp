// The components against real SQLite files: the work database, Calvera's entities, recordsets,
// quoting, and the parameter file of the data-access manager.
#include "shared/SharedState.h"
#include "common/TestEnv.h"
#include "data/DataConnection.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/clPRINC.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestData : public QObject {
    Q_OBJECT

private:
    static void writeIni(const TestEnv &env, const QByteArray &text)
    {
        QFile f(env.dbFile(QStringLiteral("calvera.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    // A new SQLite file made by the statements, through a connection of its own.
    static bool makeDatabase(const QString &file, const QStringList &statements)
    {
        bool ok = true;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mk"));
            db.setDatabaseName(file);
            ok = db.open();
            QSqlQuery q(db);
            for (const QString &statement : statements)
                ok = ok && q.exec(statement);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("mk"));
        return ok;
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void connectionString()
    {
#ifdef Q_OS_WIN
        // There the folder is written with its drive letter and backslashes.
        const QString s = oAlm::clGestor::connectionStringFor(QStringLiteral("C:\\Mis Programas\\planexo\\"));
        QCOMPARE(s, QStringLiteral("Provider=QSQLITE;Data Source=C:\\Mis Programas\\planexo\\db\\PlanexoGenericoOstrova.sqlite"));
#else
        const QString s = oAlm::clGestor::connectionStringFor(QStringLiteral("/opt/Mis Programas/planexo/"));
        // A folder with blanks goes in unchanged and unquoted; no doubled separator.
        QCOMPARE(s, QStringLiteral("Provider=QSQLITE;Data Source=/opt/Mis Programas/planexo/db/PlanexoGenericoOstrova.sqlite"));
#endif
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
            QCOMPARE(e.description(), TestEnv::duplicateKeyText());
        }
        // Strict tables refuse text in a numeric column, as the original engine did.
        g.Sql = QStringLiteral("insert into ART (INTNRO, ARTORD, ARTCAN) values ('X', 1, '11,00')");
        QVERIFY_THROWS_EXCEPTION(PlanexoError, g.Ejecutar());
        g.Sql = QStringLiteral("selec nothing");
        QVERIFY_THROWS_EXCEPTION(PlanexoError, g.Ejecutar());
        Recordset rs;
        QVERIFY_THROWS_EXCEPTION(PlanexoError, g.CrearRs(rs));
    }

    // The failures an operator meets read as Jet described them, in Spanish, with the engine's own
    // number, whichever way the statement runs (as text, prepared, with UTF-8 texts).
    void engineFailuresReadAsJetDescribedThem()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("jet.sqlite"));
        QVERIFY(makeDatabase(file, {QStringLiteral("create table p (id text primary key) strict"),
                                    QStringLiteral("create table c (k integer primary key, id text not null "
                                                   "references p(id), n real) strict"),
                                    QStringLiteral("insert into p values ('A')"),
                                    QStringLiteral("insert into c values (1, 'A', 1.5)")}));
        DataConnection dc;
        dc.openSqlite(QStringLiteral("jet"), file, QStringLiteral("test"));
        dc.Sql = QStringLiteral("PRAGMA foreign_keys = ON");
        dc.Ejecutar();
        const auto failure = [&dc](const Statement &statement) -> std::optional<PlanexoError> {
            try {
                dc.run(statement);
            } catch (const PlanexoError &e) {
                return e;
            }
            return std::nullopt;
        };
        const QString required = QStringLiteral("El campo 'c.id' no puede contener un valor Null porque la "
                                                "propiedad Requerido para este campo está "
                                                "establecida a True. Escriba un valor en este campo.");
        const QString mismatch =
            QStringLiteral("No coinciden los tipos de datos en la expresión de criterios.");
        const struct {
            Statement statement;
            long number;
            QString description;
        } cases[] = {
            {Statement(QStringLiteral("insert into p values ('A')")), 1555, TestEnv::duplicateKeyText()},
            {Statement(QStringLiteral("insert into c (k, id) values (?, ?)"), {1, QStringLiteral("A")}), 1555,
             TestEnv::duplicateKeyText()},
            {Statement(QStringLiteral("insert into c (k, id) values (2, null)")), 1299, required},
            {Statement(QStringLiteral("update c set id = ? where k = 1"), {QVariant()},
                       Statement::Form::Utf8),
             1299, required},
            // A STRICT column refuses a text that is no number, as Jet refused it.
            {Statement(QStringLiteral("update c set n = '11,00' where k = 1")), 3091, mismatch},
            {Statement(QStringLiteral("update c set n = ? where k = 1"), {QByteArray("once")},
                       Statement::Form::Utf8),
             3091, mismatch},
            {Statement(QStringLiteral("insert into c (k, id) values (?, ?)"), {3, QStringLiteral("B")}), 787,
             QStringLiteral(
                 "No se puede agregar o cambiar el registro porque se necesita un registro relacionado en "
                 "la tabla relacionada.")},
            {Statement(QStringLiteral("delete from p")), 787,
             QStringLiteral("No se puede eliminar o cambiar el registro porque la tabla relacionada contiene "
                            "registros relacionados.")},
        };
        for (const auto &c : cases) {
            const std::optional<PlanexoError> e = failure(c.statement);
            QVERIFY2(e, qPrintable(c.statement.literal()));
            QCOMPARE(e->number(), c.number);
            QCOMPARE(e->description(), c.description);
        }
        QVERIFY(failure(Statement(QStringLiteral("update c set n = 2 where k = 1"))) == std::nullopt);

        // Another connection holds the write lock: locked, as Jet said it, under SQLite's number.
        DataConnection other;
        other.openSqlite(QStringLiteral("jet2"), file, QStringLiteral("test"));
        other.Sql = QStringLiteral("PRAGMA busy_timeout = 0");
        other.Ejecutar();
        dc.beginBatch();
        dc.run(Statement(QStringLiteral("update c set n = 3 where k = 1")));
        try {
            other.Sql = QStringLiteral("update c set n = 4 where k = 1");
            other.Ejecutar();
            QFAIL("a locked database took a write");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.number(), -2147221504L + 5); // SQLITE_BUSY, raised as a component's error
            QCOMPARE(e.description(), QStringLiteral("No se pudo actualizar; actualmente bloqueado."));
        }
        dc.commitBatch();
        // A connection that may only read says so in Spanish too.
        other.Sql = QStringLiteral("PRAGMA query_only = 1");
        other.Ejecutar();
        try {
            other.run(Statement(QStringLiteral("delete from c where k = ?"), {1}));
            QFAIL("a read-only connection took a write");
        } catch (const PlanexoError &e) {
            QVERIFY2(e.description().contains(QStringLiteral("es de solo lectura")),
                     qPrintable(e.description()));
        }
    }

    // The commands of the long operations: every kind of value stored as Qt's driver stores it (a
    // QByteArray as the UTF-8 text it holds), failures raised with the engine's codes and messages,
    // and a statement that failed runs again.
    void boundCommandsStoreAndFailAsTheDriverDoes()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("bound.sqlite"));
        QVERIFY(makeDatabase(file, {QStringLiteral("create table t (k integer primary key, a, b, c, d, e, f, g, h, i, "
                                                   "j, n real check (n >= 0))")}));
        DataConnection dc;
        dc.openSqlite(QStringLiteral("bound"), file, QStringLiteral("test"));
#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)
        QVERIFY(dc.bindsBelowQt());
#endif
        const QString insert = QStringLiteral("insert into t (k, a, b, c, d, e, f, g, h, i, j) values "
                                              "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        const QVariantList values = {1,
                                     QStringLiteral("Ñandú \U0001F527").toUtf8(),
                                     QStringLiteral("texto 'citado'"),
                                     QString(),
                                     QVariant(),
                                     8000000000LL,
                                     2.5,
                                     true,
                                     QDateTime(QDate(2026, 12, 7), QTime(10, 11, 12, 13)),
                                     QByteArray(),
                                     QByteArray("")};
        QCOMPARE(dc.EjecutarBound(insert, values), 1LL);
        QCOMPARE(dc.EjecutarBound(QStringLiteral("update t set n = ? where k = ?"), {1.25, 1}), 1LL);
        QCOMPARE(dc.EjecutarBound(QStringLiteral("update t set n = ? where k = ?"), {1.5, 99}), 0LL);
        dc.Sql = QStringLiteral("select typeof(a) || ' ' || a as a, typeof(b) || ' ' || b as b, typeof(c) as c, "
                                "typeof(d) as d, typeof(e) || ' ' || e as e, typeof(f) || ' ' || f as f, "
                                "typeof(g) || ' ' || g as g, typeof(h) || ' ' || h as h, typeof(i) as i, "
                                "typeof(j) || '.' || j || '.' as j, n from t");
        Recordset rs;
        QVERIFY(dc.CrearRs(rs));
        QCOMPARE(rs.Fields(QStringLiteral("a")).toString(), QStringLiteral("text Ñandú \U0001F527"));
        QCOMPARE(rs.Fields(QStringLiteral("b")).toString(), QStringLiteral("text texto 'citado'"));
        QCOMPARE(rs.Fields(QStringLiteral("c")).toString(), QStringLiteral("null"));
        QCOMPARE(rs.Fields(QStringLiteral("d")).toString(), QStringLiteral("null"));
        QCOMPARE(rs.Fields(QStringLiteral("e")).toString(), QStringLiteral("integer 8000000000"));
        QCOMPARE(rs.Fields(QStringLiteral("f")).toString(), QStringLiteral("real 2.5"));
        QCOMPARE(rs.Fields(QStringLiteral("g")).toString(), QStringLiteral("integer 1"));
        QCOMPARE(rs.Fields(QStringLiteral("h")).toString(), QStringLiteral("text 2026-12-07T10:11:12.013"));
        QCOMPARE(rs.Fields(QStringLiteral("i")).toString(), QStringLiteral("null"));
        QCOMPARE(rs.Fields(QStringLiteral("j")).toString(), QStringLiteral("text.."));
        QCOMPARE(rs.Fields(QStringLiteral("n")).toDouble(), 1.25);

        // A key that exists: the engine's extended code, its message, and the duplicate noted.
        try {
            dc.EjecutarBound(insert, values);
            QFAIL("duplicate key accepted");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.number(), 1555L);
            QCOMPARE(e.description(), TestEnv::duplicateKeyText());
        }
        QVERIFY(dc.lastFailureWasDuplicateKey());
        try {
            dc.EjecutarBound(QStringLiteral("update t set n = ? where k = ?"), {-1, 1});
            QFAIL("check accepted");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.number(), 275L); // SQLITE_CONSTRAINT_CHECK
            QCOMPARE(e.description(), QStringLiteral("CHECK constraint failed: n >= 0"));
        }
        QVERIFY(!dc.lastFailureWasDuplicateKey());
        // A statement that does not compile, and one given too few values.
        try {
            dc.EjecutarBound(QStringLiteral("update nada set n = ?"), {1});
            QFAIL("unknown table accepted");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(), QStringLiteral("no such table: nada"));
        }
        QVERIFY_THROWS_EXCEPTION(PlanexoError, dc.EjecutarBound(QStringLiteral("update t set n = ? where k = ?"), {1}));
        // The statements that failed run again.
        QVariantList second = values;
        second[0] = 2;
        QCOMPARE(dc.EjecutarBound(insert, second), 1LL);
        QCOMPARE(dc.EjecutarBound(QStringLiteral("update t set n = ? where k = ?"), {3, 2}), 1LL);
        dc.Sql = QStringLiteral("select count(*) as c, sum(n) as s from t");
        QVERIFY(dc.CrearRs(rs));
        QCOMPARE(rs.Fields(QStringLiteral("c")).toInt(), 2);
        QCOMPARE(rs.Fields(QStringLiteral("s")).toDouble(), 4.25);
        // The process's prepared statements bind bytes as the blob that Qt's driver binds.
        QCOMPARE(dc.EjecutarPrepared(QStringLiteral("update t set a = ?, b = ? where k = ?"),
                                     {QByteArray("\x00\xff", 2), QStringLiteral("ñ"), 2}),
                 1LL);
        QVERIFY(dc.CrearRsPrepared(rs, QStringLiteral("select typeof(a) as ta, length(a) as la, b from t where k = ?"),
                                   {2}));
        QCOMPARE(rs.Fields(QStringLiteral("ta")).toString(), QStringLiteral("blob"));
        QCOMPARE(rs.Fields(QStringLiteral("la")).toInt(), 2);
        QCOMPARE(rs.Fields(QStringLiteral("b")).toString(), QStringLiteral("ñ"));
        QCOMPARE(dc.selectRowsPrepared(QStringLiteral("select k, n from t where k >= ? order by k"), {1}),
                 (QVector<QVector<QVariant>>{{1LL, 1.25}, {2LL, 3.0}}));
        QVERIFY(!dc.CrearRsPrepared(rs, QStringLiteral("select k from t where k = ?"), {7}));
        QVERIFY_THROWS_EXCEPTION(PlanexoError, dc.selectRowsPrepared(QStringLiteral("select k from nada where k = ?"), {1}));
        // Closed with its statements: the file opens again at once.
        dc.close();
        dc.openSqlite(QStringLiteral("bound"), file, QStringLiteral("test"));
        QCOMPARE(dc.EjecutarBound(QStringLiteral("delete from t where k = ?"), {1}), 1LL);
    }

    // Queries read every kind of value, name and failure as Qt's driver reads them.
    void queriesReadAsTheDriverReads()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("read.sqlite"));
        QStringList make = {QStringLiteral("create table t (k integer primary key, v, \"a\"\"b\" text, n real)")};
        const char *values[] = {"1", "-9223372036854775808", "4611686018427387904", "0.1", "-0.0", "1e300",
                                "NULL", "''", "'plain ASCII'", "'Ñandú «ó»'", "'\U0001F527 llave'",
                                "'a' || char(0) || 'b'", "cast(x'C3' as text)", "cast(x'FF8041' as text)",
                                "x'00FF'", "x''", "'  '", "'1,5'"};
        int k = 0;
        for (const char *v : values)
            make << QStringLiteral("insert into t values (%1, %2, %2, %1.5)").arg(++k).arg(QString::fromUtf8(v));
        QVERIFY(makeDatabase(file, make));
        DataConnection dc;
        dc.openSqlite(QStringLiteral("read"), file, QStringLiteral("test"));
        const QStringList queries = {
            QStringLiteral("select * from t order by k"),
            QStringLiteral("select v as \"x y\", typeof(v) t, k + 0.5, n * 2 as n2, null as nada from t order by k"),
            QStringLiteral("select * from t where k < 0"),
            QStringLiteral("select k from t order by k;  "),
        };
        const auto viaQt = [&](const QString &statement, QStringList &names) {
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("read")));
            q.setForwardOnly(true);
            QVector<QVector<QVariant>> rows;
            if (!q.exec(statement)) return rows;
            for (int i = 0; i < q.record().count(); ++i)
                names << q.record().fieldName(i);
            while (q.next()) {
                QVector<QVariant> row;
                for (int i = 0; i < names.size(); ++i)
                    row << q.value(i);
                rows << row;
            }
            return rows;
        };
        for (const QString &query : queries) {
            QStringList expectedNames;
            const QVector<QVector<QVariant>> expected = viaQt(query, expectedNames);
            QVERIFY(!expectedNames.isEmpty());
            dc.Sql = query;
            QStringList names;
            QVector<QVector<QVariant>> rows;
            QCOMPARE(dc.CrearFilas(names, rows), !expected.isEmpty());
            QCOMPARE(names, expectedNames);
            QCOMPARE(rows.size(), expected.size());
            for (qsizetype r = 0; r < rows.size(); ++r)
                for (qsizetype c = 0; c < names.size(); ++c) {
                    const QVariant &got = rows[r][c], &want = expected[r][c];
                    const QString where = query + QStringLiteral(" row %1 col %2").arg(r).arg(c);
                    QVERIFY2(got.typeId() == want.typeId() && got.isNull() == want.isNull() && got == want &&
                                 (want.typeId() != QMetaType::Double ||
                                  std::signbit(got.toDouble()) == std::signbit(want.toDouble())),
                             qPrintable(where + QStringLiteral(": ") + got.toString() + QStringLiteral(" / ") +
                                        want.toString()));
                }
            QCOMPARE(dc.selectRows(query), expected);
            Recordset rs;
            QCOMPARE(dc.CrearRs(rs), !expected.isEmpty());
            QCOMPARE(rs.RecordCount(), int(expected.size()));
        }
        // Failures carry the driver's code and message.
        const std::pair<QString, long> failures[] = {
            {QStringLiteral("select * from nada"), 1L},
            {QStringLiteral("select k from t; select 1"), -2147221504L + 21}, // SQLITE_MISUSE, as a component's
            {QStringLiteral("select abs(-9223372036854775808) from t"), 1L}};
        for (const auto &[bad, number] : failures) {
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("read")));
            QVERIFY(!q.exec(bad) || !q.next());
            QVERIFY(q.lastError().isValid());
            const QSqlError want = q.lastError();
            q = QSqlQuery();
            dc.Sql = bad;
            try {
                QStringList names;
                QVector<QVector<QVariant>> rows;
                dc.CrearFilas(names, rows);
                QFAIL(qPrintable(bad + QStringLiteral(" did not fail")));
            } catch (const PlanexoError &e) {
                const QString wantText = want.databaseText().trimmed().isEmpty() ? want.text().trimmed()
                                                                                 : want.databaseText().trimmed();
                QCOMPARE(e.description(), wantText);
                QCOMPARE(e.number(), number);
            }
        }
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
        // A server section may leave its database to a libpq service; a SQLite file may not.
        writeIni(env, "[NCM]\ndriver=QPSQL\nservice=calvera\n");
        m.LoadParameters();
        writeIni(env, "[NCM]\ndriver=QSQLITE\nservice=calvera\n");
        QVERIFY_THROWS_EXCEPTION(PlanexoError, m.LoadParameters());
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
