#include "EDMain.h"

#include "PlanexoError.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace EnlaceDatos {

static constexpr long kParamError = -2147220991; // vbObjectError + 513
static const QString kSource = QStringLiteral("EnlaceDatos.EDMain");
static QAtomicInt s_instances;

EDMain::EDMain(QString programFolder) : m_programFolder(std::move(programFolder))
{
    m_prefix = QStringLiteral("EnlaceDatos.%1.").arg(s_instances.fetchAndAddRelaxed(1));
}

EDMain::~EDMain() = default;

QString EDMain::parametersFile() const
{
    return QDir(m_programFolder).filePath(QStringLiteral("db/calvera.ini"));
}

QString EDMain::Parameters::key() const
{
    return driver + QLatin1Char('|') + database + QLatin1Char('|') + host + QLatin1Char('|') +
           QString::number(port) + QLatin1Char('|') + user;
}

void EDMain::LoadParameters()
{
    const QString file = parametersFile();
    const QFileInfo info(file);
    if (!info.isFile())
        throw PlanexoError(kParamError, QStringLiteral("No se encuentra el archivo de parámetros '%1'.").arg(file),
                           kSource + QStringLiteral(".LoadParameters"));
    if (!info.isReadable())
        throw PlanexoError(kParamError, QStringLiteral("No se puede leer el archivo de parámetros '%1'.").arg(file),
                           kSource + QStringLiteral(".LoadParameters"));
    QSettings ini(file, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        throw PlanexoError(kParamError,
                           QStringLiteral("El archivo de parámetros '%1' no tiene un formato válido.").arg(file),
                           kSource + QStringLiteral(".LoadParameters"));
    m_entities.clear();
    m_connections.clear();
    for (const QString &group : ini.childGroups()) {
        ini.beginGroup(group);
        Parameters p;
        p.driver = ini.value(QStringLiteral("driver")).toString().trimmed();
        p.database = ini.value(QStringLiteral("database")).toString().trimmed();
        p.host = ini.value(QStringLiteral("host")).toString().trimmed();
        p.port = ini.value(QStringLiteral("port")).toInt();
        p.user = ini.value(QStringLiteral("user")).toString();
        p.password = ini.value(QStringLiteral("password")).toString();
        p.options = ini.value(QStringLiteral("options")).toString();
        ini.endGroup();
        if (p.driver.isEmpty() || p.database.isEmpty())
            throw PlanexoError(kParamError,
                               QStringLiteral("La entidad '%1' del archivo de parámetros '%2' no indica driver y "
                                              "database.")
                                   .arg(group, file),
                               kSource + QStringLiteral(".LoadParameters"));
        if (p.driver == QLatin1String("QSQLITE") && QDir::isRelativePath(p.database))
            p.database = QDir::cleanPath(QDir(m_programFolder).filePath(p.database));
        m_entities.insert(group.toUpper(), p);
    }
    m_loaded = true;
}

const EDMain::Parameters &EDMain::parametersOf(const QString &entity) const
{
    if (!m_loaded)
        throw PlanexoError(kParamError, QStringLiteral("No se cargaron los parámetros de conexión."),
                           kSource + QStringLiteral(".getDataConnectionByEntity"));
    const auto it = m_entities.constFind(entity.trimmed().toUpper());
    if (it == m_entities.constEnd())
        throw PlanexoError(kParamError,
                           QStringLiteral("La entidad '%1' no está definida en el archivo de parámetros '%2'.")
                               .arg(entity, parametersFile()),
                           kSource + QStringLiteral(".getDataConnectionByEntity"));
    return *it;
}

// Names the entities that share the server's database, the asked one first, and its host and port,
// for the failures of that connection.
QString EDMain::serverText(const QString &entity, const Parameters &p) const
{
    QStringList entities{entity.trimmed().toUpper()};
    for (auto it = m_entities.cbegin(); it != m_entities.cend(); ++it)
        if (it.value().key() == p.key() && !entities.contains(it.key())) entities << it.key();
    const QString host = p.host.isEmpty() ? QStringLiteral("localhost") : p.host;
    const int port = p.port > 0 ? p.port : (p.driver == QLatin1String("QPSQL") ? 5432 : 0);
    return QStringLiteral("entidad %1, servidor %2").arg(entities.join(QLatin1Char('/')), host) +
           (port > 0 ? QLatin1Char(':') + QString::number(port) : QString());
}

DataConnection &EDMain::getDataConnectionByEntity(const QString &entity)
{
    const Parameters &p = parametersOf(entity);
    const QString key = p.key();
    // A connection that closed is opened again in place: callers may still hold it.
    std::unique_ptr<DataConnection> &connection = m_connections[key];
    if (connection && connection->isOpen()) return *connection;
    if (!connection) connection = std::make_unique<DataConnection>();
    const QString name = m_prefix + QString::number(m_opened++);
    const QString source = kSource + QStringLiteral(" [") + entity.trimmed().toUpper() + QLatin1Char(']');
    if (p.driver == QLatin1String("QSQLITE"))
        connection->openSqlite(name, p.database, source);
    else
        connection->openDriver(name, p.driver, p.database, p.host, p.port, p.user, p.password, p.options,
                               source, serverText(entity, p));
    return *connection;
}

QString EDMain::getDateFormatbyEntity(const QString &entity, const QDateTime &when)
{
    const Parameters &p = parametersOf(entity);
    const Dialect d(p.driver == QLatin1String("QPSQL") ? Dialect::Engine::PostgreSQL : Dialect::Engine::SQLite);
    return d.dateLiteral(when);
}

} // namespace EnlaceDatos
