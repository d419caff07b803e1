// The automatic process of an invoice and the transfer of its items with Calvera on a PostgreSQL
// server: straight to the server and through a loopback relay that holds every packet 10 ms each
// way, counting the round trips the relay sees. The baseline is one round trip per Calvera statement
// of the run, priced at the relay's measured round trip.
//
// The server is taken from --host, --port, --user and --password, or PGHOST, PGPORT, PGUSER and
// PGPASSWORD, or PLANEXO_PG_HOST, _PORT, _USER and _PASSWORD; the user must be allowed to create a
// database, which the benchmark fills and drops at the end.
// With the authority that signed the server's certificate (--sslrootcert, PGSSLROOTCERT or
// PLANEXO_PG_CA) the same runs are made over TLS (verify-full) and printed beside the plain ones.
// --small runs 100 rows in a few seconds, without goals (for CI).
#include "DelayProxy.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/ProcessDriver.h"
#include "shared/Interaction.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "shared/Startup.h"
#include "transfer/TransferDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

const QString kShipment = QStringLiteral("R1");
constexpr std::chrono::milliseconds kDelay{10};

struct Sizes {
    int rows = 1000;
    int articles = 10000;
    int positions = 2000;
};

struct Server {
    QString host, user, password;
    int port = 5432;
};

// Records the messages; the transfer's closing message is the only one expected.
class RecordingInteraction : public Interaction {
  public:
    QStringList messages;
    Answer message(const QString &text, Icon, Buttons, const QString &) override
    {
        messages << text;
        return Answer::Yes;
    }
    std::optional<QString> input(const QString &, const QString &, const QString &) override { return {}; }
    QString openFile(const QString &, const QString &) override { return QString(); }
    void setBusy(bool) override {}
};

[[noreturn]] void die(const QString &what, const QSqlError &error)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(what), qPrintable(error.text()));
    std::exit(1);
}

QSqlDatabase open(const QString &name, const Server &server, const QString &database, int port)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(server.host);
    db.setPort(port);
    db.setUserName(server.user);
    db.setPassword(server.password);
    db.setDatabaseName(database);
    if (!db.open()) die(QStringLiteral("cannot connect to %1:%2").arg(server.host).arg(port), db.lastError());
    return db;
}

void exec(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery q(db);
    if (!q.exec(statement)) die(statement.left(120), q.lastError());
}

QString literal(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

// Inserts rows of literals a thousand at a time.
void insertRows(QSqlDatabase &db, const QString &head, const QStringList &rows)
{
    for (qsizetype i = 0; i < rows.size(); i += 1000)
        exec(db, head + rows.mid(i, 1000).join(QLatin1Char(',')));
}

QString positionText(int i)
{
    return QString::asprintf("%02d%02d.%02d.%02d.%03d%c", 10 + i % 89, (i / 89) % 100, (i / 89) / 100 % 100,
                             i % 7, (i % 3) * 100, 'A' + i % 26);
}

void createCalvera(QSqlDatabase &db, const Sizes &n)
{
    exec(db, QStringLiteral("create table ncm (\"001\" text, \"002\" text, \"003\" text, \"010\" text, "
                            "\"012\" text, \"020\" text, \"059\" text)"));
    exec(db, QStringLiteral("create unique index ncm_key on ncm (\"001\", \"002\", \"003\")"));
    exec(db, QStringLiteral("create table sufidos (sim text not null, sufijo text not null, detalle text)"));
    exec(db, QStringLiteral("create index sufidos_sim on sufidos (sim, sufijo)"));
    exec(db, QStringLiteral(
                 "create table catarticulos (idcatalogo text not null, idarticulo text not null, descripcion "
                 "text, idpais text, cantidad double precision, preciounitario double precision, ncm text, "
                 "lapi text, sufijos text, idunidad text, estadistica text, valorrelacionestadistica double "
                 "precision, estadomerc text, deresp text, valorderesp double precision, descripcion_maria "
                 "text, usuario text, fecha timestamp, primary key (idcatalogo, idarticulo))"));
    exec(db,
         QStringLiteral("create table caratula (interno text primary key, fecha text, observaciones text)"));
    exec(db,
         QStringLiteral(
             "create table subitems (id serial primary key, idarticulo text, idcatalogo text, descripcion "
             "text, Descripcion_Maria text, interno text not null, ncm text, IdUnidad text, Cantidad double "
             "precision, Preciounitario double precision, IdPais text, KGNETO double precision, fob double "
             "precision, EstadoMerc text, estadistica text, valorrelacionestadistica double precision, "
             "sufijos text, LAPI text, valorderesp double precision, kgbruto double precision, biendeuso "
             "text, deresp text)"));
    exec(db, QStringLiteral("create index subitems_interno on subitems (interno)"));
    exec(db, QStringLiteral("create table facturas (id serial primary key, interno text not null, nrofactura "
                            "text, fecha text, importe double precision)"));

    QStringList ncm, sufidos;
    QSet<QString> chapters;
    for (int i = 0; i < n.positions; ++i) {
        const QString p = positionText(i);
        ncm << QStringLiteral("(%1,%2,%3,%4,%5,%6,%7)")
                   .arg(literal(p.left(10)), literal(p.mid(11, 3)), literal(p.mid(14, 1)),
                        literal(QStringLiteral("POSICION %1").arg(i)),
                        literal(i % 2 ? QStringLiteral("07") : QStringLiteral("01")),
                        literal(i % 10 == 0 ? QStringLiteral("08") : QString()),
                        literal(i % 5 == 0 ? QStringLiteral("*") : QString()));
        if (!chapters.contains(p.left(2))) {
            chapters.insert(p.left(2));
            sufidos << QStringLiteral("(%1,'AA','MARCA')")
                           .arg(literal(p.left(2) + QStringLiteral("  .  .  .   ")))
                    << QStringLiteral("(%1,'AB','MODELO')")
                           .arg(literal(p.left(2) + QStringLiteral("  .  .  .   ")));
        }
        if (i % 7 == 0) sufidos << QStringLiteral("(%1,'ZA','POTENCIA')").arg(literal(p.left(14)));
    }
    insertRows(db, QStringLiteral("insert into ncm values "), ncm);
    insertRows(db, QStringLiteral("insert into sufidos values "), sufidos);

    QStringList articles;
    for (int k = 0; k < n.articles; ++k) {
        const int i = k % n.positions;
        const QString code = QString::asprintf("A%06d", k);
        QString suffixes = QStringLiteral("AA(ACME)-AB(") + code + QLatin1Char(')');
        if (i % 7 == 0 && k % 20 != 0) suffixes += QStringLiteral("-ZA(000750)");
        articles << QStringLiteral("('001',%1,%2,'310',%3,%4,%5,'07','07',%6,'',%7)")
                        .arg(literal(code), literal(QStringLiteral("ARTICULO ") + code),
                             literal(k % 50 == 0 ? QStringLiteral("9999.99.99.999Z") : positionText(i)),
                             literal(k % 4 == 0 ? QStringLiteral("S") : QString()), literal(suffixes),
                             literal(k % 3 == 0 ? QString() : QStringLiteral("1")),
                             literal(k % 2 ? QStringLiteral("DESCRIPCION MARIA ") + code : QString()));
    }
    insertRows(
        db,
        QStringLiteral("insert into catarticulos (idcatalogo, idarticulo, descripcion, idpais, ncm, lapi, "
                       "sufijos, idunidad, estadistica, estadomerc, deresp, descripcion_maria) values "),
        articles);
}

void fillGrid(SheetGridModel &grid, const Sizes &n)
{
    namespace fl = fieldlabels;
    const QStringList labels = {fl::CodArticulo, fl::DescrModelo, fl::Marca,  fl::Cantidad,
                                fl::PUnitario,   fl::PTotal,      fl::Origen, fl::KgNeto};
    const QStringList origins = {QStringLiteral("CHINA"), QStringLiteral("310"), QStringLiteral("USA"),
                                 QStringLiteral("BRASIL")};
    std::mt19937 random(20261207);
    QVector<QStringList> cells{
        QStringList{"Codigo", "Descripcion", "Marca", "Cantidad", "Unitario", "Total", "Origen", "Kg"},
        labels};
    for (int r = 0; r < n.rows; ++r) {
        // Seven rows in ten are catalogue articles; a few codes come twice.
        const QString code = r % 10 < 7 ? QString::asprintf("A%06d", int(random() % n.articles))
                                        : QString::asprintf("NEW%06d", r % 10 == 9 ? r - 1 : r);
        const int quantity = 1 + r % 37;
        const double price = 0.5 + (r % 401) * 0.25;
        cells << QStringList{code,
                             r % 3 ? QString() : QStringLiteral("DESCRIPCION ") + code,
                             r % 5 ? QStringLiteral("ACME") : QString(),
                             QString::number(quantity),
                             QString::number(price, 'f', 2),
                             QString::number(price * quantity, 'f', 2),
                             origins[r % origins.size()],
                             QString::number(0.1 * (1 + r % 50), 'f', 1)};
    }
    grid.resize(int(cells.size()), int(labels.size()));
    grid.paste(0, cells);
}

void writeIni(const QString &folder, const Server &server, const QString &database, int port,
              const QString &options)
{
    QFile ini(folder + QStringLiteral("/db/calvera.ini"));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::exit(1);
    QTextStream out(&ini);
    for (const char *entity : {"INTERNOS", "NCM", "CATALOGOS"})
        out << '[' << entity << "]\ndriver=QPSQL\ndatabase=" << database << "\nhost=" << server.host
            << "\nport=" << port << "\nuser=" << server.user << "\npassword=" << server.password
            << "\noptions=" << options << "\n\n";
}

bool isCalvera(const QString &statement)
{
    for (const char *table : {"catarticulos", "from ncm", "caratula", "subitems", "facturas"})
        if (statement.contains(QLatin1String(table), Qt::CaseInsensitive)) return true;
    return false;
}

struct Figures {
    double processMs = 0, transferMs = 0;
    long processTrips = 0, transferTrips = 0, connectTrips = 0;
    int processStatements = 0, transferStatements = 0;
};

// One process and one transfer of the shipment with Calvera at `port`.
Figures runOnce(const QString &folder, const Server &server, const QString &database, int port,
                DelayProxy *proxy, const Sizes &n, const QString &options)
{
    writeIni(folder, server, database, port, options);
    resetShared();
    SharedState &s = shared();
    int step = 0;
    startup::openComponents(s, folder, step);
    s.PRCESM = QStringLiteral("1");
    s.INTCAT = QStringLiteral("001");
    s.INTDUN = QStringLiteral("07");
    s.AA_MARCA = QStringLiteral("GENERICA");
    s.sInternoActual = kShipment;

    QSqlQuery(QSqlDatabase::database(s.gestor->connectionName()))
        .exec(QStringLiteral("insert or ignore into INTN (INTNRO, INTDSC) values (%1, 'BENCH')")
                  .arg(literal(kShipment)));

    Figures f;
    if (proxy) proxy->resetCounts();
    s.enlace->getDataConnectionByEntity(QStringLiteral("INTERNOS"));
    if (proxy) f.connectTrips = proxy->roundTrips();

    RecordingInteraction recorder;
    setInteraction(&recorder);
    QuietProgress progress;
    SheetGridModel grid;
    fillGrid(grid, n);

    ProcessDriver process(s, progress);
    process.setStatementObserver([&](const QString &st) { f.processStatements += isCalvera(st); });
    if (proxy) proxy->resetCounts();
    QElapsedTimer t;
    t.start();
    if (!process.FRAM2_GuardarDatosToBase(grid) || !recorder.messages.isEmpty()) {
        std::fprintf(stderr, "the process did not complete: %s\n", qPrintable(recorder.messages.join('\n')));
        std::exit(1);
    }
    f.processMs = t.nsecsElapsed() / 1e6;
    if (proxy) f.processTrips = proxy->roundTrips();

    // The review's outcome: every row may pass.
    QSqlQuery(QSqlDatabase::database(s.gestor->connectionName()))
        .exec(QStringLiteral("update ART set PRCCRC = 'OK' where INTNRO = ") + literal(kShipment));
    TransferDriver transfer(s, progress);
    transfer.setStatementObserver([&](const QString &st) { f.transferStatements += isCalvera(st); });
    if (proxy) proxy->resetCounts();
    t.restart();
    transfer.FRM3_Tranferir();
    f.transferMs = t.nsecsElapsed() / 1e6;
    if (proxy) f.transferTrips = proxy->roundTrips();
    const QString expected =
        QStringLiteral("Se transfirio %1 articulos en el interno ").arg(n.rows) + kShipment;
    if (recorder.messages != QStringList{expected}) {
        std::fprintf(stderr, "the transfer did not complete: %s\n", qPrintable(recorder.messages.join('\n')));
        std::exit(1);
    }
    setInteraction(nullptr);
    resetShared();
    return f;
}

// Calvera as before the run: no shipment, no article the run added to the catalogue.
void restoreCalvera(QSqlDatabase &db)
{
    exec(db, QStringLiteral("delete from caratula"));
    exec(db, QStringLiteral("delete from subitems"));
    exec(db, QStringLiteral("delete from catarticulos where idarticulo like 'NEW%'"));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    // An argument, else the libpq variable, else the test server's (scripts/with-pg).
    const auto option = [&](const char *name, const char *variable, const QString &fallback) {
        const int i = int(args.indexOf(QLatin1String("--") + QLatin1String(name)));
        if (i >= 0 && i + 1 < args.size()) return args[i + 1];
        for (const QByteArray &env : {QByteArray("PG") + variable, QByteArray("PLANEXO_PG_") + variable}) {
            const QString value = qEnvironmentVariable(env.constData());
            if (!value.isEmpty()) return value;
        }
        return fallback;
    };
    Server server;
    server.host = option("host", "HOST", QStringLiteral("127.0.0.1"));
    server.port = option("port", "PORT", QStringLiteral("5432")).toInt();
    server.user = option("user", "USER", QStringLiteral("postgres"));
    server.password = option("password", "PASSWORD", QString());
    QString authority = option("sslrootcert", "SSLROOTCERT", QString());
    if (authority.isEmpty()) authority = qEnvironmentVariable("PLANEXO_PG_CA");
    const QString plain = QStringLiteral("sslmode=disable");
    const QString tls = QStringLiteral("sslmode=verify-full sslrootcert=") + authority;
    const bool small = args.contains(QStringLiteral("--small"));
    Sizes n;
    if (small) n = {100, 1000, 200};

    const QString database = QStringLiteral("planexo_bench_%1").arg(QCoreApplication::applicationPid());
    {
        QSqlDatabase admin = open(QStringLiteral("admin"), server, QStringLiteral("postgres"), server.port);
        exec(admin, QStringLiteral("create database ") + database);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("db"));
    QFile::copy(QStringLiteral(PLANEXO_BUILD_DB_DIR "/PlanexoGenericoOstrova.sqlite"),
                dir.filePath(QStringLiteral("db/PlanexoGenericoOstrova.sqlite")));

    Figures direct, relayed, tlsDirect, tlsRelayed;
    double roundTripMs = 0;
    QString version;
    {
        QSqlDatabase gen = open(QStringLiteral("gen"), server, database, server.port);
        QElapsedTimer t;
        t.start();
        createCalvera(gen, n);
        QSqlQuery q(gen);
        if (q.exec(QStringLiteral("show server_version")) && q.next()) version = q.value(0).toString();
        // Each transfer statement commits on its own: the server's flushing weighs on the transfer.
        for (const char *setting : {"fsync", "synchronous_commit"})
            if (q.exec(QStringLiteral("show ") + QLatin1String(setting)) && q.next())
                version += QStringLiteral(", %1=%2").arg(QLatin1String(setting), q.value(0).toString());
        std::printf("data: %d invoice rows (70%% in a %d-article catalogue), %d positions, made in %.0f ms\n",
                    n.rows, n.articles, n.positions, t.nsecsElapsed() / 1e6);

        DelayProxy proxy(server.host.toStdString(), server.port, kDelay);
        const int relayPort = proxy.start();
        {
            // The price of one round trip through the relay: the mean of 20 trivial queries.
            QSqlDatabase probe = open(QStringLiteral("probe"), server, database, relayPort);
            QSqlQuery one(probe);
            t.restart();
            for (int i = 0; i < 20; ++i)
                one.exec(QStringLiteral("select 1"));
            roundTripMs = t.nsecsElapsed() / 1e6 / 20;
        }
        QSqlDatabase::removeDatabase(QStringLiteral("probe"));

        direct = runOnce(dir.path(), server, database, server.port, nullptr, n, plain);
        restoreCalvera(gen);
        relayed = runOnce(dir.path(), server, database, relayPort, &proxy, n, plain);
        restoreCalvera(gen);
        if (!authority.isEmpty()) {
            tlsDirect = runOnce(dir.path(), server, database, server.port, nullptr, n, tls);
            restoreCalvera(gen);
            tlsRelayed = runOnce(dir.path(), server, database, relayPort, &proxy, n, tls);
            restoreCalvera(gen);
        }
        proxy.stop();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gen"));
    {
        QSqlDatabase admin = open(QStringLiteral("admin"), server, QStringLiteral("postgres"), server.port);
        exec(admin, QStringLiteral("drop database ") + database);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));

    std::printf("server: PostgreSQL %s at %s:%d; relay %lld ms each way, one round trip %.1f ms; opening a "
                "connection through it: %ld round trips\n",
                qPrintable(version), qPrintable(server.host), server.port, (long long)kDelay.count(),
                roundTripMs, relayed.connectTrips);
    if (!authority.isEmpty())
        std::printf("opening a connection over TLS (verify-full) through the relay: %ld round trips\n",
                    tlsRelayed.connectTrips);
    const auto line = [&](const char *what, double directMs, double relayMs, long trips, int statements,
                          double goalMs) {
        const double floorMs = statements * roundTripMs;
        std::printf("%-22s direct %7.0f ms | relay %7.0f ms, %4ld round trips | one per statement: %5d "
                    "statements = %7.0f ms | ratio %.3f",
                    what, directMs, relayMs, trips, statements, floorMs, relayMs / floorMs);
        if (small)
            std::printf("\n");
        else
            std::printf(" | goal under %.0f ms: %s\n", goalMs, relayMs < goalMs ? "met" : "MISSED");
    };
    // The same run over TLS beside the plain one: times, their ratio, and the round trips of each.
    const auto overTls = [&](double plainDirect, double plainRelay, long plainTrips, double tlsDirectMs,
                             double tlsRelayMs, long tlsTrips, double goalMs) {
        std::printf("  over TLS             direct %7.0f ms | relay %7.0f ms, %4ld round trips | TLS/plain: "
                    "direct %.3f, relay %.3f, round trips %ld/%ld",
                    tlsDirectMs, tlsRelayMs, tlsTrips, tlsDirectMs / plainDirect, tlsRelayMs / plainRelay,
                    tlsTrips, plainTrips);
        if (small)
            std::printf("\n");
        else
            std::printf(" | goal under %.0f ms: %s\n", goalMs, tlsRelayMs < goalMs ? "met" : "MISSED");
    };
    line(qPrintable(QStringLiteral("process, %1 rows").arg(n.rows)), direct.processMs, relayed.processMs,
         relayed.processTrips, relayed.processStatements, 3000);
    if (!authority.isEmpty())
        overTls(direct.processMs, relayed.processMs, relayed.processTrips, tlsDirect.processMs,
                tlsRelayed.processMs, tlsRelayed.processTrips, 3000);
    line(qPrintable(QStringLiteral("transfer, %1 items").arg(n.rows)), direct.transferMs, relayed.transferMs,
         relayed.transferTrips, relayed.transferStatements, 5000);
    if (!authority.isEmpty())
        overTls(direct.transferMs, relayed.transferMs, relayed.transferTrips, tlsDirect.transferMs,
                tlsRelayed.transferMs, tlsRelayed.transferTrips, 5000);
    if (authority.isEmpty())
        std::printf("TLS not measured: no certificate authority given (--sslrootcert, PGSSLROOTCERT or "
                    "PLANEXO_PG_CA)\n");
    else if (tlsRelayed.processTrips != relayed.processTrips ||
             tlsRelayed.transferTrips != relayed.transferTrips)
        std::printf("TLS changed the round trips of the process or the transfer\n");
    return 0;
}
