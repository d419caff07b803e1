// Calvera on a real PostgreSQL server that this suite starts, stops and starts again: the failures
// a server brings (unreachable host, wrong port, wrong password, missing database, the server going
// away during the process and during the transfer) and two workstations transferring at once.
#include "common/RecordingProgress.h"
#include "common/ScriptedInteraction.h"
#include "common/TestEnv.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"
#include "process/ProcessDriver.h"
#include "process/ProcessRun.h"
#include "shared/SharedState.h"
#include "transfer/TransferDriver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Icon = Interaction::Icon;
using Answer = Interaction::Answer;
using Buttons = Interaction::Buttons;

namespace {

const QString kScript = QStringLiteral(PLANEXO_SOURCE_DIR "/scripts/pg-server");
const QString kTransferLocation =
    QStringLiteral("\r\n\r\n-2147467259 - seccion [Planexo.frmMain.FRAM3_Transfer_B_pasaje]");
constexpr qint64 kPatienceMs = 10000;

void configure(const QString &shipment)
{
    SharedState &s = shared();
    s.INTCAT = QStringLiteral("001");
    s.PRCESM = QStringLiteral("1");
    s.INTDUN = QStringLiteral("07");
    s.sInternoActual = shipment;
}

// An article ready for the transfer: checked OK, quantity 2 and total 10.
void addOkArticle(TestEnv &env, const QString &shipment, int order, const QString &code)
{
    env.exec(QStringLiteral(
                 "insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTCAN, ARTUNI, ARTTOT, ARTORG, "
                 "PRCNCM, PRCDUN, PRCEUN, PRCESM, PRCORI, PRCEST, PRCCRC) values ('%1', %2, '%3', "
                 "'ARTICULO %3', 2, 5, 10, '310', '8205.20.00.000K', '07', '07', '1', '310', 'A', 'OK')")
                 .arg(shipment)
                 .arg(order)
                 .arg(code));
}

int calveraCount(TestEnv &env, const QString &query)
{
    return env.scalarCalvera(QStringLiteral("INTERNOS"), query).toInt();
}

// A loopback port where nobody listens: the system's free pick, released again.
int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 1;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

} // namespace

class TestCalveraServer : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_server;
    QString m_host, m_port, m_user, m_password;
    // scripts/with-pg's server, which takes encrypted links (this suite's own does not), its
    // certificate authority, and another authority that signed none of its certificates.
    QString m_tlsPort, m_ca, m_otherCa;

    bool serverScript(const QString &command) { return QProcess::execute(kScript, {command, m_server}) == 0; }
    QString where() const
    {
        return QStringLiteral(" [entidad INTERNOS/CATALOGOS, servidor %1:%2]").arg(m_host, m_port);
    }
    void writeIni(TestEnv &env, const QString &host, const QString &port, const QString &password,
                  const QString &database, const QString &options = {})
    {
        QFile ini(env.dbFile(QStringLiteral("calvera.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QString &entity : {QStringLiteral("INTERNOS"), QStringLiteral("CATALOGOS")})
            ini.write(
                QStringLiteral(
                    "[%1]\ndriver=QPSQL\nhost=%2\nport=%3\nuser=%4\npassword=%5\ndatabase=%6\noptions=%7\n\n")
                    .arg(entity, host, port, m_user, password, database, options)
                    .toUtf8());
        ini.write(QStringLiteral("[NCM]\ndriver=QPSQL\nhost=%1\nport=%2\nuser=%3\npassword=%4\ndatabase=%5\n")
                      .arg(m_host, m_port, m_user, m_password, env.serverDatabase(QStringLiteral("NCM")))
                      .toUtf8());
    }

  private slots:
    void initTestCase()
    {
        QVERIFY2(TestEnv::onServer(), "this suite runs only with PLANEXO_TEST_ENGINE=QPSQL");
        QVERIFY(m_root.isValid());
        m_tlsPort = qEnvironmentVariable("PLANEXO_PG_PORT");
        m_ca = qEnvironmentVariable("PLANEXO_PG_CA");
        QVERIFY2(!m_ca.isEmpty(), "no certificate authority of the test server (PLANEXO_PG_CA): run through "
                                  "scripts/with-pg");
        m_otherCa = m_root.filePath(QStringLiteral("other-ca.crt"));
        QCOMPARE(
            QProcess::execute(QStringLiteral("openssl"),
                              {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                               "-nodes", "-days", "2", "-subj", "/CN=Otra autoridad", "-keyout",
                               m_root.filePath(QStringLiteral("other-ca.key")), "-out", m_otherCa}),
            0);
        // A server of this suite's own: it is stopped and started again while other suites run.
        m_server = m_root.filePath(QStringLiteral("pg"));
        // The server runs as another user when the tests run as root: it must reach its folder.
        QFile::setPermissions(m_root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                 QFileDevice::ExeOther);
        QVERIFY2(serverScript(QStringLiteral("start")), "the suite's PostgreSQL server did not start");
        QFile env(m_server + QStringLiteral("/env"));
        QVERIFY(env.open(QIODevice::ReadOnly));
        for (const QByteArray &line : env.readAll().split('\n')) {
            const QByteArray assignment = line.mid(line.indexOf(' ') + 1);
            const int eq = assignment.indexOf('=');
            if (eq > 0) qputenv(assignment.left(eq).constData(), assignment.mid(eq + 1));
        }
        m_host = qEnvironmentVariable("PLANEXO_PG_HOST");
        m_port = qEnvironmentVariable("PLANEXO_PG_PORT");
        m_user = qEnvironmentVariable("PLANEXO_PG_USER");
        m_password = qEnvironmentVariable("PLANEXO_PG_PASSWORD");
        QVERIFY(!m_password.isEmpty());
    }

    void cleanupTestCase()
    {
        if (!m_server.isEmpty()) serverScript(QStringLiteral("stop"));
    }

    void cleanup() { serverScript(QStringLiteral("resume")); }

    // Each failure to reach the server ends the transfer's step with its standard message, which
    // names the entities, the host and the port but never the password, within 10 s.
    void unreachable_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("database"); // empty: this environment's own
        QTest::addColumn<QString>("cause");    // the server's words, empty when they vary
        QTest::addColumn<QString>("options");  // given: an encrypted link, refused as `cause` says, whole
        // TEST-NET-1: no answer ever comes, or the network says at once that there is none.
        QTest::newRow("unreachable host") << "192.0.2.1"
                                          << "5432" << QString() << QString() << QString() << QString();
        QTest::newRow("wrong port") << "127.0.0.1" << QString::number(freePort()) << QString() << QString()
                                    << "Connection refused" << QString();
        QTest::newRow("wrong password") << QString() << QString() << "Secreto-Equivocado-7" << QString()
                                        << "FATAL:  password authentication failed for user" << QString();
        QTest::newRow("database missing") << QString() << QString() << QString() << "no_existe"
                                          << "FATAL:  database \"no_existe\" does not exist" << QString();
        // On scripts/with-pg's server, which takes TLS links, and on this suite's own, which does not.
        const QString secure =
            QStringLiteral("No se pudo establecer la conexión cifrada con el servidor %1: ");
        const QString missing = m_root.filePath("a,b/no-existe.crt");
        QTest::newRow("certificate not trusted")
            << "127.0.0.1" << m_tlsPort << QString() << QString()
            << secure.arg("127.0.0.1") + "su certificado no es de confianza (no lo firmó la autoridad "
                                         "certificadora indicada en sslrootcert)."
            << "connect_timeout=5;sslmode=verify-full;sslrootcert=" + m_otherCa;
        QTest::newRow("name does not match")
            << "calvera.invalid" << m_tlsPort << QString() << QString()
            << secure.arg("calvera.invalid") + "ese nombre no coincide con el de su certificado (emitido "
                                               "para \"localhost\" y otros nombres)."
            << "hostaddr=127.0.0.1 sslmode=verify-full sslrootcert=" + m_ca;
        QTest::newRow("authority file missing")
            << "127.0.0.1" << m_tlsPort << QString() << QString()
            << secure.arg("127.0.0.1") + "no existe el archivo de la autoridad certificadora \"" + missing +
                   "\" (sslrootcert)."
            << "sslmode=verify-full sslrootcert=" + missing;
        QTest::newRow("server without TLS")
            << QString() << QString() << QString() << QString()
            << secure.arg("127.0.0.1") + "el servidor no acepta conexiones cifradas y sslmode las exige."
            << "sslmode=require";
    }
    void unreachable()
    {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, password);
        QFETCH(QString, database);
        QFETCH(QString, cause);
        QFETCH(QString, options);
        TestEnv env;
        host = host.isEmpty() ? m_host : host;
        port = port.isEmpty() ? m_port : port;
        password = password.isEmpty() ? m_password : password;
        writeIni(env, host, port, password,
                 database.isEmpty() ? env.serverDatabase(QStringLiteral("INTERNOS")) : database, options);
        env.connect();
        configure(QStringLiteral("T1"));
        addOkArticle(env, QStringLiteral("T1"), 1, QStringLiteral("MT-500"));
        ScriptedInteraction script;
        RecordingProgress progress;
        QElapsedTimer clock;
        clock.start();
        TransferDriver(shared(), progress).FRM3_Tranferir();
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(script.log().size(), 1);
        const QString shown = script.log().first();
        QVERIFY2(elapsed < kPatienceMs, qPrintable(QStringLiteral("%1 ms: %2").arg(elapsed).arg(shown)));
        const QString tail = QStringLiteral(" [entidad INTERNOS/CATALOGOS, servidor %1:%2]").arg(host, port) +
                             kTransferLocation;
        if (!options.isEmpty()) QCOMPARE(shown, "message: " + cause + tail);
        QVERIFY2(shown.startsWith(QStringLiteral("message: connection to server at \"%1\", port %2 failed: ")
                                      .arg(host, port)) ||
                     !options.isEmpty(),
                 qPrintable(shown));
        QVERIFY2(shown.endsWith(tail), qPrintable(shown));
        QVERIFY2(shown.contains(cause), qPrintable(shown));
        QVERIFY2(!shown.contains(password) && !shown.contains(m_password), qPrintable(shown));
        QCOMPARE(progress.caption(), QStringLiteral("Transfiriendo al Calvera Windows..."));
        // Nothing reached Calvera: its right database still has no trace of the shipment.
        writeIni(env, m_host, m_port, m_password, env.serverDatabase(QStringLiteral("INTERNOS")));
        env.connect();
        QCOMPARE(calveraCount(env, "select count(*) from caratula where interno = 'T1'"), 0);
    }

    // Without a password in calvera.ini the server's password file gives it, named in the options or
    // by a libpq service that gives the whole link; failures then name the service. A password in
    // calvera.ini reaches the server whole, ";" and "," included.
    void passwordFromPassFile()
    {
        TestEnv env;
        env.connect();
        env.execCalvera("INTERNOS", "create role planexo_signos login password 'Clave;con,signos' in role "
                                    "pg_read_all_data");
        QFile signs(env.dbFile(QStringLiteral("calvera.ini")));
        QVERIFY(signs.open(QIODevice::WriteOnly | QIODevice::Truncate));
        signs.write(QStringLiteral("[INTERNOS]\ndriver=QPSQL\nhost=%1\nport=%2\nuser=planexo_signos\n"
                                   "password=Clave;con,signos\ndatabase=%3\n")
                        .arg(m_host, m_port, env.serverDatabase(QStringLiteral("INTERNOS")))
                        .toUtf8());
        signs.close();
        env.connect();
        QCOMPARE(calveraCount(env, "select count(*) from catalogo"), 3);

        const QString passfile = env.programFolder() + QStringLiteral("/pgpass");
        QFile pass(passfile);
        QVERIFY(pass.open(QIODevice::WriteOnly));
        pass.write(QStringLiteral("%1:%2:*:%3:%4\n").arg(m_host, m_port, m_user, m_password).toUtf8());
        pass.close();
        // libpq ignores a password file that others may read.
        QVERIFY(pass.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QFile ini(env.dbFile(QStringLiteral("calvera.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(QStringLiteral("[INTERNOS]\ndriver=QPSQL\nhost=%1\nport=%2\nuser=%3\ndatabase=%4\n"
                                 "options=passfile=%5\n")
                      .arg(m_host, m_port, m_user, env.serverDatabase(QStringLiteral("INTERNOS")), passfile)
                      .toUtf8());
        ini.close();
        env.connect();
        QCOMPARE(calveraCount(env, "select count(*) from catalogo"), 3);

        const QString services = env.programFolder() + QStringLiteral("/pg_service.conf");
        QFile service(services);
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write(
            QStringLiteral("[calvera_oficina]\nhost=%1\nport=%2\nuser=%3\ndbname=%4\npassfile=%5\n")
                .arg(m_host, m_port, m_user, env.serverDatabase(QStringLiteral("INTERNOS")), passfile)
                .toUtf8());
        service.close();
        const QByteArray outer = qgetenv("PGSERVICEFILE");
        qputenv("PGSERVICEFILE", QFile::encodeName(services));
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[INTERNOS]\ndriver=QPSQL\nservice=calvera_oficina\n");
        ini.close();
        env.connect();
        QCOMPARE(calveraCount(env, "select count(*) from catalogo"), 3);
        try {
            env.execCalvera(QStringLiteral("INTERNOS"), QStringLiteral("select * from no_existe"));
            QFAIL("a missing table was read");
        } catch (const PlanexoError &e) {
            QCOMPARE(e.description(),
                     QStringLiteral("relation \"no_existe\" does not exist [entidad INTERNOS, "
                                    "servicio calvera_oficina]"));
        }
        qputenv("PGSERVICEFILE", outer);
        if (outer.isEmpty()) qunsetenv("PGSERVICEFILE");
    }

    // The server stops while the second round trip of items is on its way: the step reports it at
    // once, the header and the items of the first round trip stay; when the server is back, the
    // transfer asks to replace the shipment and ends complete.
    void serverStopsDuringTransfer()
    {
        TestEnv env;
        env.connect();
        configure(QStringLiteral("T1"));
        constexpr int kItems = 150; // the items go 100 to a round trip
        for (int i = 1; i <= kItems; ++i)
            addOkArticle(env, QStringLiteral("T1"), i, QStringLiteral("ST-%1").arg(i));
        ScriptedInteraction script;
        RecordingProgress progress;
        TransferDriver driver(shared(), progress);
        int items = 0;
        driver.setStatementObserver([&](const QString &s) {
            if (s.startsWith(QStringLiteral("insert into subitems")) && ++items == 120)
                QVERIFY(serverScript(QStringLiteral("halt")));
        });
        QElapsedTimer clock;
        clock.start();
        driver.FRM3_Tranferir();
        QVERIFY(clock.elapsed() < kPatienceMs);
        QCOMPARE(script.log().size(), 1);
        const QString shown = script.log().first();
        QVERIFY2(shown.endsWith(where() + kTransferLocation), qPrintable(shown));
        QVERIFY2(!shown.contains(m_password), qPrintable(shown));
        QCOMPARE(progress.caption(), QStringLiteral("Transfiriendo al Calvera Windows..."));

        // While it is down, the next attempt fails at once with the same kind of message.
        script.clear();
        TransferDriver(shared(), progress).FRM3_Tranferir();
        QCOMPARE(script.log().size(), 1);
        QVERIFY2(script.log().first().contains(QStringLiteral("port %1 failed").arg(m_port)) &&
                     script.log().first().endsWith(where() + kTransferLocation),
                 qPrintable(script.log().first()));

        QVERIFY(serverScript(QStringLiteral("resume")));
        QCOMPARE(calveraCount(env, "select count(*) from caratula where interno = 'T1'"), 1);
        QCOMPARE(calveraCount(env, "select count(*) from subitems where interno = 'T1'"), 100);
        QCOMPARE(calveraCount(env, "select count(*) from catarticulos where idarticulo like 'ST-%'"), 0);

        ScriptedInteraction again;
        again.expectMessage(QStringLiteral("El interno [ T1 ] ya existe.\r\n\r\nDesea reemplazarlo?"),
                            Icon::Question, Buttons::YesNo, Answer::Yes);
        again.expectMessage(QStringLiteral("Se transfirio 150 articulos en el interno T1"), Icon::Information);
        TransferDriver(shared(), progress).FRM3_Tranferir();
        VERIFY_SCRIPT(again);
        QCOMPARE(calveraCount(env, "select count(*) from subitems where interno = 'T1'"), kItems);
        QCOMPARE(calveraCount(env, "select count(distinct idarticulo) from subitems where interno = 'T1'"),
                 kItems);
        QCOMPARE(calveraCount(env, "select count(*) from catarticulos where idarticulo like 'ST-%'"), kItems);
        QCOMPARE(
            env.scalarCalvera("INTERNOS", "select Preciounitario from subitems where idarticulo = 'ST-3'")
                .toDouble(),
            5.0);
    }

    // The server stops as the catalogue lookup of the process begins (the shipment's articles are
    // read a few hundred at a time): the stage reports it with its statement, the rows stored by
    // stage 1 stay; when it is back the process runs through.
    void serverStopsDuringProcess()
    {
        TestEnv env;
        env.connect();
        configure(QStringLiteral("T1"));
        SheetGridModel grid;
        const QStringList labels{fieldlabels::CodArticulo, fieldlabels::Cantidad, fieldlabels::PTotal};
        const QVector<QStringList> rows{{"MT-500", "1", "4"}, {"DS-PH2", "2", "3"}, {"TL-13", "1", "38"}};
        grid.resize(2 + int(rows.size()), int(labels.size()));
        for (int c = 0; c < labels.size(); ++c) {
            grid.setText(0, c, QStringLiteral("Columna %1").arg(c + 1));
            grid.setText(1, c, labels[c]);
        }
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < labels.size(); ++c)
                grid.setText(2 + r, c, rows[r][c]);
        ScriptedInteraction script;
        RecordingProgress progress;
        ProcessDriver driver(shared(), progress);
        int lookups = 0;
        driver.setStatementObserver([&](const QString &s) {
            if (s.contains(QStringLiteral("catarticulos")) && ++lookups == 1)
                QVERIFY(serverScript(QStringLiteral("halt")));
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!driver.FRAM2_GuardarDatosToBase(grid));
        QVERIFY(clock.elapsed() < kPatienceMs);
        QCOMPARE(script.log().size(), 1);
        const QString shown = script.log().first();
        QVERIFY2(shown.contains(where() + QStringLiteral("\r\n\r\n-2147467259 - seccion "
                                                         "[Planexo.frmMain.FRAM2_GuardarDatosToBase]:: ")),
                 qPrintable(shown));
        QVERIFY2(shown.contains(QStringLiteral("EnlaceDatos.EDMain [INTERNOS]\r\n\r\nSQL:\r\n")),
                 qPrintable(shown));
        QVERIFY(!shown.contains(m_password));
        QCOMPARE(env.scalar("select count(*) from ART where INTNRO = 'T1'").toInt(), 3);
        QCOMPARE(env.scalar("select count(*) from ART where INTNRO = 'T1' and PRCEST = 'A'").toInt(), 0);

        QVERIFY(serverScript(QStringLiteral("resume")));
        ScriptedInteraction again;
        QVERIFY(ProcessDriver(shared(), progress).FRAM2_GuardarDatosToBase(grid));
        VERIFY_SCRIPT(again);
        QCOMPARE(env.scalar("select count(*) from ART where INTNRO = 'T1' and PRCCRC = 'OK'").toInt(), 3);
    }

    // Two workstations transfer two shipments that share articles at the same moment, against the
    // same Calvera: the catalogue ends with one row per article and both shipments are complete.
    void twoWorkstationsAtOnce()
    {
        constexpr int kShared = 150, kOwn = 10;
        TestEnv a;
        TestEnv b;
        // Both workstations reach the same Calvera databases: a's.
        QFile::remove(b.dbFile(QStringLiteral("calvera.ini")));
        QVERIFY(
            QFile::copy(a.dbFile(QStringLiteral("calvera.ini")), b.dbFile(QStringLiteral("calvera.ini"))));
        for (TestEnv *env : {&a, &b}) {
            const QString shipment = env == &a ? QStringLiteral("A1") : QStringLiteral("B1");
            env->connect();
            env->exec(QStringLiteral("begin"));
            for (int i = 1; i <= kShared; ++i)
                addOkArticle(*env, shipment, i, QStringLiteral("SH-%1").arg(i, 3, 10, QLatin1Char('0')));
            for (int i = 1; i <= kOwn; ++i)
                addOkArticle(*env, shipment, kShared + i, QStringLiteral("%1-%2").arg(shipment).arg(i));
            env->exec(QStringLiteral("commit"));
        }
        resetShared();
        const QString go = a.programFolder() + QStringLiteral("/go");
        QProcess first, second;
        first.start(QStringLiteral(PLANEXO_TRANSFER_HELPER), {a.programFolder(), "A1", "001", go});
        second.start(QStringLiteral(PLANEXO_TRANSFER_HELPER), {b.programFolder(), "B1", "001", go});
        QVERIFY(first.waitForStarted() && second.waitForStarted());
        QTest::qWait(1500); // both connected and waiting
        QFile(go).open(QIODevice::WriteOnly);
        // Both wrote their items and wait before their first catalogue lookup.
        QElapsedTimer waited;
        waited.start();
        while (!(QFile::exists(go + ".A1") && QFile::exists(go + ".B1")) && waited.elapsed() < 120000 &&
               first.state() == QProcess::Running && second.state() == QProcess::Running)
            QTest::qWait(5);
        QFile(go + ".cat").open(QIODevice::WriteOnly);
        QVERIFY(first.waitForFinished(120000) && second.waitForFinished(120000));
        const QString outA = QString::fromUtf8(first.readAllStandardOutput() + first.readAllStandardError());
        const QString outB =
            QString::fromUtf8(second.readAllStandardOutput() + second.readAllStandardError());
        QVERIFY2(first.exitCode() == 0, qPrintable(outA));
        QVERIFY2(second.exitCode() == 0, qPrintable(outB));
        QVERIFY2(
            outA.contains(QStringLiteral("Se transfirio %1 articulos en el interno A1").arg(kShared + kOwn)),
            qPrintable(outA));
        QVERIFY2(
            outB.contains(QStringLiteral("Se transfirio %1 articulos en el interno B1").arg(kShared + kOwn)),
            qPrintable(outB));

        a.connect();
        QCOMPARE(calveraCount(a, "select count(*) from catarticulos where idarticulo like 'SH-%'"), kShared);
        QCOMPARE(calveraCount(
                     a, "select count(distinct idarticulo) from catarticulos where idarticulo like 'SH-%'"),
                 kShared);
        QCOMPARE(calveraCount(a, "select count(*) from catarticulos where idarticulo like 'A1-%' or "
                                 "idarticulo like 'B1-%'"),
                 2 * kOwn);
        QCOMPARE(calveraCount(a, "select count(*) from subitems where interno = 'A1'"), kShared + kOwn);
        QCOMPARE(calveraCount(a, "select count(*) from subitems where interno = 'B1'"), kShared + kOwn);
        QCOMPARE(calveraCount(a, "select count(*) from caratula where interno in ('A1', 'B1')"), 2);
        // How often both looked an article up before either inserted it (the race the update after a
        // refused insert settles).
        const QRegularExpression counts(QStringLiteral("catalogue inserts: (\\d+)"));
        const int inserts = counts.match(outA).captured(1).toInt() + counts.match(outB).captured(1).toInt();
        qInfo("articles both workstations tried to insert: %d of %d shared", inserts - (kShared + 2 * kOwn),
              kShared);
    }
};

QTEST_MAIN(TestCalveraServer)
#include "test_calvera_server.moc"
