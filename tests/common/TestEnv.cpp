#include "TestEnv.h"

#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

#ifdef PLANEXO_PDFTEXT_EXE
// The PDF reader finds its helper in the build, not beside the suite.
const bool pdfHelperNamed = [] {
    if (qEnvironmentVariableIsEmpty("PLANEXO_PDFTEXT")) qputenv("PLANEXO_PDFTEXT", PLANEXO_PDFTEXT_EXE);
    return true;
}();
#endif

QString pg(const char *name)
{
    return qEnvironmentVariable((QByteArray("PLANEXO_PG_") + name).constData());
}

// The server's maintenance database, where the environments' databases are created and dropped.
QSqlDatabase admin()
{
    const QString name = QStringLiteral("planexo-test-admin");
    if (QSqlDatabase::contains(name)) {
        if (QSqlDatabase db = QSqlDatabase::database(name, false); db.isOpen()) return db;
        QSqlDatabase::removeDatabase(name);
    }
    if (pg("HOST").isEmpty() || pg("PORT").isEmpty())
        qFatal("PLANEXO_TEST_ENGINE=QPSQL but no PostgreSQL test server is given (PLANEXO_PG_HOST, "
               "PLANEXO_PG_PORT): run the tests through scripts/with-pg");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(pg("HOST"));
    db.setPort(pg("PORT").toInt());
    db.setUserName(pg("USER"));
    db.setPassword(pg("PASSWORD"));
    db.setDatabaseName(QStringLiteral("postgres"));
    db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    if (!db.open())
        qFatal("cannot reach the PostgreSQL test server at %s: %s", qPrintable(TestEnv::serverAddress()),
               qPrintable(db.lastError().text()));
    return db;
}

void adminExec(const QString &statement)
{
    for (int attempt = 0;; ++attempt) {
        QSqlQuery q(admin());
        if (q.exec(statement)) return;
        const QString error = q.lastError().text();
        q = QSqlQuery();
        if (attempt == 40) qFatal("test server: %s: %s", qPrintable(statement), qPrintable(error));
        // A template being copied by another test process is briefly busy; a server that was
        // stopped and started again needs a new link.
        if (!error.contains(QLatin1String("accessed by other users"))) {
            if (attempt > 0) qFatal("test server: %s: %s", qPrintable(statement), qPrintable(error));
            QSqlDatabase::database(QStringLiteral("planexo-test-admin"), false).close();
        }
        QThread::msleep(50);
    }
}

} // namespace

bool TestEnv::onServer()
{
    return qEnvironmentVariable("PLANEXO_TEST_ENGINE") == QLatin1String("QPSQL");
}

QString TestEnv::serverAddress()
{
    return pg("HOST") + QLatin1Char(':') + pg("PORT");
}

QString TestEnv::serverDatabase(const QString &entity) const
{
    return m_serverPrefix + QLatin1Char('_') + entity.toLower();
}

void TestEnv::createServerDatabases()
{
    // The process id alone can repeat: under Wine two prefixes run the same suite at once.
    static const quint32 run = QRandomGenerator::global()->bounded(1u << 24);
    static int counter = 0;
    m_serverPrefix = QStringLiteral("planexo_t%1_%2_%3")
                         .arg(QCoreApplication::applicationPid())
                         .arg(run, 6, 16, QLatin1Char('0'))
                         .arg(++counter);
    for (const char *entity : {"internos", "ncm"})
        adminExec(QStringLiteral("CREATE DATABASE %1_%2 TEMPLATE calvera_%2 STRATEGY FILE_COPY")
                      .arg(m_serverPrefix, entity));
    QFile ini(dbFile(QStringLiteral("calvera.ini")));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(ini.fileName()));
    for (const auto &[entity, database] :
         {std::pair{"INTERNOS", "internos"}, std::pair{"NCM", "ncm"}, std::pair{"CATALOGOS", "internos"}})
        ini.write(
            QStringLiteral("[%1]\ndriver=QPSQL\nhost=%2\nport=%3\nuser=%4\npassword=%5\ndatabase=%6_%7\n\n")
                .arg(QLatin1String(entity), pg("HOST"), pg("PORT"), pg("USER"), pg("PASSWORD"),
                     m_serverPrefix, QLatin1String(database))
                .toUtf8());
}

QString TestEnv::calveraSql(const QString &statement)
{
    if (!onServer()) return statement;
    static const QRegularExpression numbered(QStringLiteral("\\[(\\d{3})\\]"));
    return QString(statement).replace(numbered, QStringLiteral("\"\\1\""));
}

QString TestEnv::calveraError(const QString &entities, const QString &sqliteText, const QString &serverText)
{
    if (!onServer()) return sqliteText;
    return serverText + QStringLiteral(" [entidad ") + entities + QStringLiteral(", servidor ") +
           serverAddress() + QLatin1Char(']');
}

QString TestEnv::missingTable(const QString &entities, const QString &table)
{
    return calveraError(entities, QStringLiteral("no such table: ") + table,
                        QStringLiteral("relation \"%1\" does not exist").arg(table.toLower()));
}

long TestEnv::calveraErrorNumber(long sqliteNumber)
{
    return onServer() ? -2147467259L : sqliteNumber;
}

QString TestEnv::makeInternosUnreachable()
{
    if (!onServer()) {
        const QString file = dbFile(QStringLiteral("calvera_internos.sqlite"));
        QFile::rename(file, file + QStringLiteral(".moved"));
        return QStringLiteral("No se pudo encontrar el archivo '%1'.").arg(file);
    }
    adminExec(
        QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(serverDatabase(QStringLiteral("INTERNOS"))));
    return calveraError(
        QStringLiteral("INTERNOS/CATALOGOS"), QString(),
        QStringLiteral("connection to server at \"%1\", port %2 failed: FATAL:  database \"%3\" "
                       "does not exist")
            .arg(pg("HOST"), pg("PORT"), serverDatabase(QStringLiteral("INTERNOS"))));
}

void TestEnv::calveraTrigger(const QString &entity, const QString &name, const QString &timing,
                             const QString &table, const QString &condition, RowAction action,
                             const QString &message)
{
    if (!onServer()) {
        const QString body =
            action == RowAction::Refuse ? QStringLiteral("select raise(abort, %1)").arg(sql::text(message))
            : action == RowAction::Skip ? QStringLiteral("select raise(ignore)")
                                        : QStringLiteral("delete from %1 where id = new.id").arg(table);
        execCalvera(entity,
                    QStringLiteral("create trigger %1 %2 on %3 %4 begin %5; end")
                        .arg(name, timing, table,
                             condition.isEmpty() ? QString() : QStringLiteral("when ") + condition, body));
        return;
    }
    const QString body =
        action == RowAction::Refuse ? QStringLiteral("raise exception '%', %1;").arg(sql::text(message))
        : action == RowAction::Skip ? QStringLiteral("return null;")
                                    : QStringLiteral("delete from %1 where id = new.id;").arg(table);
    execCalvera(entity,
                QStringLiteral("create function %1_row() returns trigger language plpgsql as $f$ begin "
                               "if %2 then %3 end if; return new; end $f$")
                    .arg(name, condition.isEmpty() ? QStringLiteral("true") : condition, body));
    execCalvera(entity, QStringLiteral("create trigger %1 %2 on %3 for each row execute function %1_row()")
                            .arg(name, timing, table));
}

void TestEnv::dropCalveraTrigger(const QString &entity, const QString &name, const QString &table)
{
    execCalvera(entity, onServer() ? QStringLiteral("drop trigger %1 on %2").arg(name, table)
                                   : QStringLiteral("drop trigger %1").arg(name));
}

TestEnv::TestEnv()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("db"));
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    const QDir source(QStringLiteral(PLANEXO_BUILD_DB_DIR));
    for (const QString &name : source.entryList({QStringLiteral("*.sqlite"), QStringLiteral("calvera.ini")}, QDir::Files))
        QFile::copy(source.filePath(name), dbFile(name));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
#ifdef Q_OS_WIN
    // The native store is the registry there, which setPath does not move: the settings found are
    // set aside for this environment's life, so that it starts empty, and put back at its end.
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
        for (const QString &key : s.allKeys())
            m_outerSettings.insert(key, s.value(key));
        s.clear();
        s.sync();
    }
#endif
    resetShared();
    if (onServer()) createServerDatabases();
}

TestEnv::~TestEnv()
{
    resetShared();
#ifdef Q_OS_WIN
    {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
        s.clear();
        for (auto it = m_outerSettings.cbegin(); it != m_outerSettings.cend(); ++it)
            s.setValue(it.key(), it.value());
        s.sync();
    }
#endif
    if (!m_serverPrefix.isEmpty())
        for (const char *entity : {"INTERNOS", "NCM"})
            adminExec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)")
                          .arg(serverDatabase(QLatin1String(entity))));
}

QString TestEnv::dbFile(const QString &name) const
{
    return m_dir.filePath(QStringLiteral("db/") + name);
}

void TestEnv::connect()
{
    SharedState &s = shared();
    s.programFolder = programFolder();
    s.gestor = std::make_unique<oAlm::clGestor>();
    s.fmt = std::make_unique<cFMTX::PRINC>();
    s.entorno = std::make_unique<oENTX::clEntorno>();
    s.enlace = std::make_unique<EnlaceDatos::EDMain>(programFolder());
    s.enlace->LoadParameters();
    s.gestor->CadenaConexion = oAlm::clGestor::connectionStringFor(programFolder());
    s.gestor->Conectar();
}

void TestEnv::exec(const QString &statement)
{
    shared().gestor->Sql = statement;
    shared().gestor->Ejecutar();
}

QVariant TestEnv::scalar(const QString &query)
{
    Recordset rs;
    shared().gestor->Sql = query;
    if (!shared().gestor->CrearRs(rs))
        return QVariant();
    return rs.Fields(rs.fieldNames().value(0));
}

void TestEnv::execCalvera(const QString &entity, const QString &statement)
{
    DataConnection &c = shared().enlace->getDataConnectionByEntity(entity);
    c.Sql = calveraSql(statement);
    c.Ejecutar();
}

QVariant TestEnv::scalarCalvera(const QString &entity, const QString &query)
{
    DataConnection &c = shared().enlace->getDataConnectionByEntity(entity);
    Recordset rs;
    c.Sql = calveraSql(query);
    if (!c.CrearRs(rs))
        return QVariant();
    return rs.Fields(rs.fieldNames().value(0));
}


void TestEnv::setSetting(const QString &key, const QString &value)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
    s.setValue(QStringLiteral("CONFIG/") + key, value);
    s.sync();
}

QString TestEnv::setting(const QString &key) const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
    return s.value(QStringLiteral("CONFIG/") + key).toString();
}

bool TestEnv::hasSetting(const QString &key) const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Planexo"), QStringLiteral("Planexo"));
    return s.contains(QStringLiteral("CONFIG/") + key);
}
