// Round trips to Calvera: the delay relay, commands sent several at a time, and a whole transfer
// through the relay that must leave the same rows, messages and step numbers as one statement at a
// time. The server cases need a PostgreSQL server (PLANEXO_PG_HOST, _PORT, _USER, _PASSWORD; the
// user may create databases); without one they are skipped with a message saying so.
#include "DelayProxy.h"
#include "common/RecordingProgress.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "data/DataConnection.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/ProcessDriver.h"
#include "shared/SharedState.h"
#include "transfer/CalveraWrites.h"
#include "transfer/TransferDriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using Icon = Interaction::Icon;

namespace {

// A one-connection echo server on a free loopback port.
class EchoServer {
  public:
    EchoServer()
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        ::listen(m_fd, 1);
        socklen_t len = sizeof addr;
        getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len);
        port = ntohs(addr.sin_port);
        m_thread = std::thread([this] {
            const int client = accept(m_fd, nullptr, nullptr);
            char buffer[4096];
            ssize_t n;
            while ((n = read(client, buffer, sizeof buffer)) > 0)
                if (write(client, buffer, size_t(n)) != n) break;
            close(client);
        });
    }
    ~EchoServer()
    {
        m_thread.join();
        close(m_fd);
    }
    int port = 0;

  private:
    int m_fd = -1;
    std::thread m_thread;
};

int connectLoopback(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    return ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 ? fd : -1;
}

std::string readExactly(int fd, size_t size)
{
    std::string out;
    char buffer[65536];
    while (out.size() < size) {
        const ssize_t n = read(fd, buffer, std::min(sizeof buffer, size - out.size()));
        if (n <= 0) break;
        out.append(buffer, size_t(n));
    }
    return out;
}

QString pg(const char *name)
{
    return qEnvironmentVariable((QByteArray("PLANEXO_PG_") + name).constData());
}

// A scratch database on the test server, dropped at the end.
class ScratchDatabase {
  public:
    ScratchDatabase()
    {
        static int count = 0;
        name = QStringLiteral("planexo_rt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++count);
        run(QStringLiteral("postgres"), QStringLiteral("create database ") + name);
    }
    ~ScratchDatabase()
    {
        run(QStringLiteral("postgres"), QStringLiteral("drop database ") + name + " with (force)");
    }
    static bool available() { return !pg("HOST").isEmpty() && !pg("PORT").isEmpty(); }
    static void open(QSqlDatabase &db, const QString &database, int port)
    {
        db.setHostName(pg("HOST"));
        db.setPort(port);
        db.setUserName(pg("USER"));
        db.setPassword(pg("PASSWORD"));
        db.setDatabaseName(database);
        if (!db.open()) qFatal("cannot open %s: %s", qPrintable(database), qPrintable(db.lastError().text()));
    }
    static void run(const QString &database, const QString &statement)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("scratch"));
            open(db, database, pg("PORT").toInt());
            QSqlQuery q(db);
            if (!q.exec(statement)) qFatal("%s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("scratch"));
    }
    void exec(const QString &statement) const { run(name, statement); }
    // A calvera.ini whose three entities are this database, reached at `port`; over TLS, with the
    // server's certificate checked against PLANEXO_PG_CA.
    void writeIni(const QString &file, int port, bool tls = false) const
    {
        QFile ini(file);
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QString options = tls ? QStringLiteral("sslmode=verify-full sslrootcert=") + pg("CA")
                                    : QStringLiteral("sslmode=disable");
        for (const char *entity : {"INTERNOS", "NCM", "CATALOGOS"})
            ini.write(
                QStringLiteral(
                    "[%1]\ndriver=QPSQL\ndatabase=%2\nhost=%3\nport=%4\nuser=%5\npassword=%6\noptions=%7\n\n")
                    .arg(QLatin1String(entity), name, pg("HOST"))
                    .arg(port)
                    .arg(pg("USER"), pg("PASSWORD"), options)
                    .toUtf8());
    }
    QString name;
};

#define REQUIRE_SERVER()                                                                                     \
    if (!ScratchDatabase::available())                                                                       \
        QSKIP("no PostgreSQL server given (PLANEXO_PG_HOST, PLANEXO_PG_PORT): run through scripts/with-pg");
#define REQUIRE_TLS()                                                                                        \
    if (pg("CA").isEmpty())                                                                                  \
        QSKIP("no certificate authority given (PLANEXO_PG_CA): run through scripts/with-pg");

// Whether Calvera's INTERNOS link is encrypted, as the server sees it.
bool encrypted(TestEnv &env)
{
    return env.scalarCalvera("INTERNOS", "select ssl from pg_stat_ssl where pid = pg_backend_pid()").toBool();
}

const QString kArtColumns =
    QStringLiteral("INTNRO, ARTORD, ARTNRO, ARTDSC, ARTCAN, ARTUNI, ARTTOT, ARTORG, PRCNCM, PRCSUF, PRCLAP, "
                   "PRCDUN, PRCEUN, PRCESM, PRCORI, PRCEST, PRCCRC");

// 120 articles: 1-60 already in the catalogue, 61-120 new, 101 repeating the code of 100, and one
// article described `refusedAt` (0: none) as "MALO".
void addArticles(TestEnv &env, int refusedAt)
{
    for (int i = 1; i <= 120; ++i) {
        const QString code = QStringLiteral("A%1").arg(i == 101 ? 100 : i, 3, 10, QLatin1Char('0'));
        const QString description =
            i == refusedAt ? QStringLiteral("MALO") : QStringLiteral("ARTICULO %1").arg(i);
        env.exec(
            QStringLiteral("insert into ART (%1) values ('T1',%2,'%3','%4',%5,2.5,%6,'310','8205.20.00.000K',"
                           "'AA(X)','N','07','07','1','310','A','OK')")
                .arg(kArtColumns)
                .arg(i)
                .arg(code, description)
                .arg(i % 7 + 1)
                .arg(2.5 * (i % 7 + 1)));
    }
}

// The codes of the catalogue rows of articles A001 to A120, each once; "(duplicates)" when a code has two.
QStringList catalogueCodes(TestEnv &env)
{
    QStringList codes;
    for (int i = 1; i <= 120; ++i) {
        const QString code = QStringLiteral("A%1").arg(i, 3, 10, QLatin1Char('0'));
        const int rows = env.scalarCalvera("INTERNOS", "select count(*) from catarticulos where idcatalogo = "
                                                       "'001' and idarticulo = '" +
                                                           code + "'")
                             .toInt();
        if (rows > 0) codes << code;
        if (rows > 1) codes << QStringLiteral("(duplicates)");
    }
    return codes;
}

// A table of a shipped SQLite Calvera file, copied into the scratch database.
void copyTable(const QString &file, const QString &table, const ScratchDatabase &db)
{
    QStringList columns, rows;
    {
        QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("copy"));
        source.setDatabaseName(file);
        QVERIFY(source.open());
        QSqlQuery q(source);
        QVERIFY(q.exec("pragma table_info(" + table + ")"));
        QStringList names;
        while (q.next()) {
            names << q.value(1).toString().toLower();
            const bool text = q.value(2).toString().compare("TEXT", Qt::CaseInsensitive) == 0;
            columns << '"' + names.last() + "\" " + (text ? "text" : "double precision");
        }
        QVERIFY(q.exec("select * from " + table));
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < names.size(); ++i)
                values << (q.value(i).isNull() ? QStringLiteral("NULL")
                                               : "'" + q.value(i).toString().replace("'", "''") + "'");
            rows << "(" + values.join(',') + ")";
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("copy"));
    db.exec("create table " + table + " (" + columns.join(", ") + ")");
    if (!rows.isEmpty()) db.exec("insert into " + table + " values " + rows.join(','));
}

// Every article row of the shipment, a line of values each, in ARTORD order.
QStringList articleRows()
{
    QStringList out;
    QSqlQuery q(QSqlDatabase::database(shared().gestor->connectionName()));
    q.exec("select * from ART where INTNRO = 'T1' order by ARTORD");
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i)
            values << (q.value(i).isNull() ? QStringLiteral("(null)") : q.value(i).toString());
        out << values.join('|');
    }
    return out;
}

// The automatic process of an invoice with every demo catalogue article, under two brands, and new
// ones: the rows it leaves.
QStringList processDemoInvoice(TestEnv &env, int *calveraStatements)
{
    QStringList codes;
    {
        QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("codes"));
        source.setDatabaseName(env.dbFile("calvera_internos.sqlite"));
        source.open();
        QSqlQuery q(source);
        q.exec("select idarticulo from catarticulos where idcatalogo = '001' order by idarticulo");
        while (q.next())
            codes << q.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("codes"));
    codes << "NEW-1"
          << "NEW-2" << codes.value(0);
    SheetGridModel grid;
    const QStringList labels = {fieldlabels::CodArticulo, fieldlabels::Marca, fieldlabels::Cantidad,
                                fieldlabels::PTotal};
    grid.resize(2 + int(codes.size()), int(labels.size()));
    for (int c = 0; c < labels.size(); ++c) {
        grid.setText(0, c, QStringLiteral("Columna %1").arg(c + 1));
        grid.setText(1, c, labels[c]);
    }
    for (int r = 0; r < codes.size(); ++r) {
        grid.setText(2 + r, 0, codes[r]);
        grid.setText(2 + r, 1, r % 2 ? QStringLiteral("ACME") : QString());
        grid.setText(2 + r, 2, QString::number(1 + r));
        grid.setText(2 + r, 3, QString::number(3 * (1 + r)));
    }
    SharedState &s = shared();
    s.PRCESM = "1";
    s.INTCAT = "001";
    s.INTDUN = "07";
    s.AA_MARCA = QString();
    s.sInternoActual = "T1";
    RecordingProgress progress;
    ProcessDriver driver(s, progress);
    driver.setStatementObserver([&](const QString &st) {
        *calveraStatements += st.contains("catarticulos") || st.contains("from ncm");
    });
    ScriptedInteraction script;
    if (!driver.FRAM2_GuardarDatosToBase(grid)) return {QStringLiteral("the process failed")};
    if (!script.ok()) return {script.report()};
    return articleRows();
}

} // namespace

class TestRoundTrips : public QObject {
    Q_OBJECT

    // Each operation's round trips without TLS, which its run over TLS must keep (the plain row
    // runs first).
    QMap<QString, long> m_plainTrips;

  private slots:
    void relayHoldsEveryPacketAndCountsRoundTrips()
    {
        EchoServer echo;
        DelayProxy proxy("127.0.0.1", echo.port, std::chrono::milliseconds(10));
        const int port = proxy.start();
        const int fd = connectLoopback(port);
        QVERIFY(fd >= 0);
        QElapsedTimer timer;
        for (int i = 0; i < 5; ++i) {
            const std::string ping = "ping " + std::to_string(i);
            timer.start();
            QCOMPARE(write(fd, ping.data(), ping.size()), ssize_t(ping.size()));
            QCOMPARE(readExactly(fd, ping.size()), ping);
            QVERIFY2(timer.elapsed() >= 20, "a round trip took less than twice the delay");
        }
        QCOMPARE(proxy.roundTrips(), 5L);
        QCOMPARE(proxy.connections(), 1L);
        // A megabyte crosses intact and in order, however the relay splits it.
        std::string big(1 << 20, '\0');
        for (size_t i = 0; i < big.size(); ++i)
            big[i] = char(i * 7 % 251);
        std::thread writer([&] { QCOMPARE(write(fd, big.data(), big.size()), ssize_t(big.size())); });
        const std::string back = readExactly(fd, big.size());
        writer.join();
        QVERIFY(back == big);
        close(fd);
    }

    // Without a server the commands run one at a time, with the same outcome.
    void commandsOnSqliteRunInOrderAndStopAtTheFirstFailure()
    {
        TestEnv env;
        env.connect();
        DataConnection &cal = shared().enlace->getDataConnectionByEntity("INTERNOS");
        QVERIFY(!cal.sendsCommandsTogether());
        QVERIFY(!cal.insertsAlwaysLand("subitems"));
        env.execCalvera("INTERNOS", "create trigger skip before insert on caratula when new.interno = 'X2' "
                                    "begin select raise(ignore); end");
        const DataConnection::CommandsResult r = cal.EjecutarVarios(
            {"insert into caratula (interno) values ('X1')", "insert into caratula (interno) values ('X2')",
             "insert into caratula (interno) values ('X1')", "insert into caratula (interno) values ('X3')"});
        QCOMPARE(r.affected, (QList<long long>{1, 0}));
        QVERIFY(r.error.has_value());
        cal.Sql = "insert into caratula (interno) values ('X1')";
        try {
            cal.Ejecutar();
            QFAIL("the repeated key was accepted");
        } catch (const PlanexoError &e) {
            QCOMPARE(r.error->number(), e.number());
            QCOMPARE(r.error->description(), e.description());
        }
        QCOMPARE(
            env.scalarCalvera("INTERNOS", "select count(*) from caratula where interno like 'X%'").toInt(),
            1);
    }

    void commandsOnServerTravelTogetherAndCommitEachOnItsOwn()
    {
        REQUIRE_SERVER();
        ScratchDatabase db;
        db.exec("create table caratula (interno text primary key)");
        DelayProxy proxy(pg("HOST").toStdString(), pg("PORT").toInt(), std::chrono::milliseconds(10));
        const int port = proxy.start();
        DataConnection cal;
        cal.openDriver("rt-cal", "QPSQL", db.name, pg("HOST"), port, pg("USER"), pg("PASSWORD"), QString(),
                       "rt");
        QVERIFY(cal.sendsCommandsTogether());
        QVERIFY(cal.insertsAlwaysLand("caratula"));

        QStringList commands;
        for (int i = 0; i < 50; ++i)
            commands << QStringLiteral("insert into caratula (interno) values ('K%1')").arg(i);
        proxy.resetCounts();
        DataConnection::CommandsResult r = cal.EjecutarVarios(commands);
        QCOMPARE(proxy.roundTrips(), 1L);
        QVERIFY(!r.error);
        QCOMPARE(r.affected, QList<long long>(50, 1));

        // The third fails: the first two stay, the fourth never runs, and the error is the one that
        // the same statement gives alone.
        r = cal.EjecutarVarios({"insert into caratula (interno) values ('F1')",
                                "update caratula set interno = 'F2' where interno = 'F1'",
                                "insert into caratula (interno) values ('K7')",
                                "insert into caratula (interno) values ('F3')"});
        QCOMPARE(r.affected, (QList<long long>{1, 1}));
        QVERIFY(r.error.has_value());
        cal.Sql = "insert into caratula (interno) values ('K7')";
        try {
            cal.Ejecutar();
            QFAIL("the repeated key was accepted");
        } catch (const PlanexoError &e) {
            QCOMPARE(r.error->number(), e.number());
            QCOMPARE(r.error->description(), e.description());
            QCOMPARE(r.error->source(), e.source());
        }
        QVERIFY(cal.sendsCommandsTogether()); // no transaction left open
        Recordset rs;
        cal.Sql =
            "select string_agg(interno, ',' order by interno) as f from caratula where interno like 'F%'";
        QVERIFY(cal.CrearRs(rs));
        QCOMPARE(rs.Fields("f").toString(), QStringLiteral("F2"));

        db.exec(
            "create function drop_row() returns trigger language plpgsql as $$ begin return null; end $$");
        db.exec("create trigger drop_row before insert on caratula for each row execute function drop_row()");
        QVERIFY(!cal.insertsAlwaysLand("caratula"));
        cal.close();
    }

    void writesRecoverOrStop_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("sqlite") << false;
        QTest::newRow("server") << true;
    }
    // A refused command that its recovery deals with lets the rest run; one without recovery stops
    // everything after it. The observer sees each command once, in order, as it is sent.
    void writesRecoverOrStop()
    {
        QFETCH(bool, server);
        if (server) REQUIRE_SERVER();
        TestEnv env;
        std::unique_ptr<ScratchDatabase> db;
        DataConnection serverConnection;
        DataConnection *cal = &serverConnection;
        if (server) {
            db = std::make_unique<ScratchDatabase>();
            db->exec("create table caratula (interno text primary key)");
            serverConnection.openDriver("rt-writes", "QPSQL", db->name, pg("HOST"), pg("PORT").toInt(),
                                        pg("USER"), pg("PASSWORD"), QString(), "rt");
        } else {
            env.connect();
            cal = &shared().enlace->getDataConnectionByEntity("INTERNOS");
        }
        cal->Sql = "insert into caratula (interno) values ('D1')";
        cal->Ejecutar();

        QStringList seen, done;
        int recovered = 0;
        int step = 0;
        const CalveraWrites::Observer observer = [&](const QString &st) { seen << st.section('\'', 1, 1); };
        CalveraWrites writes(*cal, observer, step, CalveraWrites::capacityFor(*cal));
        const auto add = [&](const QString &key, int keyStep, CalveraWrites::Recover recover = {}) {
            writes.add(
                "insert into caratula (interno) values ('" + key + "')", keyStep,
                [&done, key](long long affected) { done << key + ":" + QString::number(affected); },
                std::move(recover));
        };
        bool refused = false;
        try {
            add("W1", 1);
            add("D1", 2, [&] { return ++recovered == 1; });
            add("W3", 3);
            add("D1", 4);
            add("W5", 5);
            writes.flush();
        } catch (const PlanexoError &) {
            refused = true;
        }
        QVERIFY(refused);
        QCOMPARE(recovered, 1);
        QCOMPARE(step, 4);
        QCOMPARE(done, (QStringList{"W1:1", "W3:1"}));
        // Sent together, W5 travelled behind the refused command and was skipped by the server.
        QCOMPARE(seen.mid(0, 4), (QStringList{"W1", "D1", "W3", "D1"}));
        Recordset rs;
        cal->Sql = "select count(*) as n from caratula where interno in ('W1', 'W3', 'W5', 'D1')";
        cal->CrearRs(rs);
        QCOMPARE(rs.Fields("n").toInt(), 3);
    }

    // The process with Calvera on the server, through the relay, leaves exactly the rows it leaves
    // with Calvera on the shipped SQLite files, in a few round trips: as many over TLS as without.
    void processOnServerMatchesSqlite_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::newRow("plain") << false;
        QTest::newRow("TLS") << true;
    }
    void processOnServerMatchesSqlite()
    {
        QFETCH(bool, tls);
        REQUIRE_SERVER();
        if (tls) REQUIRE_TLS();
        QStringList onSqlite, onServer;
        int statements = 0;
        {
            TestEnv env;
            env.connect();
            onSqlite = processDemoInvoice(env, &statements);
        }
        QVERIFY(onSqlite.size() > 10);
        // Found, graded and new articles alike.
        for (const char *grade : {"|A|OK", "|E|POS", "|E|SUF", "|E|ERR", "|(null)|(null)"})
            QVERIFY2(onSqlite.join('\n').contains(QLatin1String(grade)), grade);
        TestEnv env;
        ScratchDatabase db;
        copyTable(env.dbFile("calvera_internos.sqlite"), "catarticulos", db);
        copyTable(env.dbFile("calvera_ncm.sqlite"), "ncm", db);
        copyTable(env.dbFile("calvera_ncm.sqlite"), "sufidos", db);
        DelayProxy proxy(pg("HOST").toStdString(), pg("PORT").toInt(), std::chrono::milliseconds(10));
        db.writeIni(env.dbFile("calvera.ini"), proxy.start(), tls);
        env.connect();
        shared().enlace->getDataConnectionByEntity("NCM");
        proxy.resetCounts();
        statements = 0;
        onServer = processDemoInvoice(env, &statements);
        const long roundTrips = proxy.roundTrips();
        QCOMPARE(onServer, onSqlite);
        QVERIFY2(statements > 10, qPrintable(QString::number(statements)));
        QVERIFY2(roundTrips <= 8, qPrintable(QString::number(roundTrips)));
        QCOMPARE(encrypted(env), tls);
        QCOMPARE(roundTrips, tls ? m_plainTrips.value("process") : (m_plainTrips["process"] = roundTrips));
    }

    void transfer_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<int>("refusedAt");
        QTest::addColumn<bool>("tls");
        QTest::newRow("sqlite") << false << 0 << false;
        QTest::newRow("sqlite, insert refused") << false << 90 << false;
        QTest::newRow("server") << true << 0 << false;
        QTest::newRow("server, insert refused") << true << 90 << false;
        QTest::newRow("server, TLS") << true << 0 << true;
    }
    // The whole transfer of 120 articles: on the server through the relay in a few round trips,
    // with the rows, messages and step numbers of the transfer on SQLite.
    void transfer()
    {
        QFETCH(bool, server);
        QFETCH(int, refusedAt);
        QFETCH(bool, tls);
        if (server) REQUIRE_SERVER();
        if (tls) REQUIRE_TLS();
        TestEnv env;
        std::unique_ptr<ScratchDatabase> db;
        std::unique_ptr<DelayProxy> proxy;
        if (server) {
            db = std::make_unique<ScratchDatabase>();
            db->exec("create table caratula (interno text primary key)");
            db->exec("create table facturas (interno text)");
            db->exec(
                "create table subitems (idarticulo text, idcatalogo text, descripcion text, "
                "Descripcion_Maria "
                "text, interno text, ncm text, IdUnidad text, Cantidad float, Preciounitario float, IdPais "
                "text, KGNETO float, fob float, EstadoMerc text, estadistica text, valorrelacionestadistica "
                "float, sufijos text, LAPI text, valorderesp float, kgbruto float, biendeuso text, deresp "
                "text)");
            db->exec(
                "create table catarticulos (idcatalogo text, idarticulo text, descripcion text check "
                "(descripcion <> 'MALO'), idpais text, cantidad float, preciounitario float, ncm text, lapi "
                "text, sufijos text, idunidad text, estadistica text, valorrelacionestadistica float, "
                "estadomerc text, deresp text, valorderesp float, descripcion_maria text, usuario text, "
                "fecha timestamp, primary key (idcatalogo, idarticulo))");
            proxy = std::make_unique<DelayProxy>(pg("HOST").toStdString(), pg("PORT").toInt(),
                                                 std::chrono::milliseconds(10));
            db->writeIni(env.dbFile("calvera.ini"), proxy->start(), tls);
        }
        env.connect();
        if (!server)
            env.execCalvera("INTERNOS",
                            "create trigger malo before insert on catarticulos when new.descripcion = "
                            "'MALO' begin select raise(abort, 'descripcion rechazada'); end");
        for (int i = 1; i <= 60; ++i)
            env.execCalvera("INTERNOS", QStringLiteral("insert into catarticulos (idcatalogo, idarticulo, "
                                                       "descripcion) values ('001', 'A%1', 'VIEJO')")
                                            .arg(i, 3, 10, QLatin1Char('0')));
        addArticles(env, refusedAt);
        SharedState &s = shared();
        s.INTCAT = "001";
        s.PRCESM = "1";
        s.INTDUN = "07";
        s.sInternoActual = "T1";

        ScriptedInteraction script;
        if (!refusedAt)
            script.expectMessage("Se transfirio 120 articulos en el interno T1", Icon::Information);
        RecordingProgress progress;
        TransferDriver driver(s, progress);
        int statements = 0;
        QString refusedInsert;
        driver.setStatementObserver([&](const QString &st) {
            ++statements;
            if (st.startsWith("insert into CATARTICULOS") && st.contains("'MALO'")) refusedInsert = st;
        });
        if (proxy) proxy->resetCounts();
        driver.FRM3_Tranferir();
        const long roundTrips = proxy ? proxy->roundTrips() : 0;

        QCOMPARE(env.scalarCalvera("INTERNOS", "select count(*) from subitems where interno = 'T1'").toInt(),
                 120);
        QStringList expected;
        for (int i = 1; i <= 120; ++i)
            if (i != 101 && (!refusedAt || i < refusedAt))
                expected << QStringLiteral("A%1").arg(i, 3, 10, QLatin1Char('0'));
        QCOMPARE(catalogueCodes(env), expected);
        if (!refusedAt) {
            VERIFY_SCRIPT(script);
            // The repeated code was inserted by its first line and updated by the second.
            QCOMPARE(env.scalarCalvera("INTERNOS",
                                       "select descripcion from catarticulos where idarticulo = 'A100'")
                         .toString(),
                     QStringLiteral("ARTICULO 101"));
            QCOMPARE(env.scalarCalvera("INTERNOS",
                                       "select descripcion from catarticulos where idarticulo = 'A060'")
                         .toString(),
                     QStringLiteral("ARTICULO 60"));
            QCOMPARE(progress.caption(), QStringLiteral("Fin de proceso"));
        } else {
            // The message of the refused insert, as the statement gives it when sent alone.
            DataConnection &cal = s.enlace->getDataConnectionByEntity("INTERNOS");
            QVERIFY(!refusedInsert.isEmpty());
            cal.Sql = refusedInsert;
            const PlanexoError refused = [&] {
                try {
                    cal.Ejecutar();
                } catch (const PlanexoError &e) {
                    return e;
                }
                return PlanexoError(0, QString());
            }();
            QVERIFY(refused.number() != 0);
            QCOMPARE(
                script.log(),
                QStringList{"message: " +
                            standardMessage(refused, " - seccion "
                                                     "[Planexo.frmMain_FRAM3_Transfer_C_ActualCAT] L630")});
            QCOMPARE(progress.caption(), QStringLiteral("Actualizando catalogo..."));
            QCOMPARE(progress.value(), refusedAt - 1);
        }
        if (proxy) {
            // Hundreds of statements (the per-article lookups included) in a few round trips.
            QVERIFY2(statements > (refusedAt ? 300 : 360), qPrintable(QString::number(statements)));
            QVERIFY2(roundTrips < 20, qPrintable(QString::number(roundTrips)));
            QCOMPARE(encrypted(env), tls);
            if (!refusedAt)
                QCOMPARE(roundTrips,
                         tls ? m_plainTrips.value("transfer") : (m_plainTrips["transfer"] = roundTrips));
        }
    }
};

QTEST_MAIN(TestRoundTrips)
#include "test_roundtrips.moc"
