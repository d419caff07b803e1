#include "EDMain.h"

#include "PlanexoError.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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
           QString::number(port) + QLatin1Char('|') + user + QLatin1Char('|') + service;
}

// Whether another user of the machine may read the file: its group or everyone may read it and pass
// through every folder above it.
static bool readableByOthers(const QString &file)
{
#ifdef Q_OS_UNIX
    QString path = QFileInfo(file).canonicalFilePath();
    struct stat st {};
    if (path.isEmpty() || stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    bool group = st.st_mode & S_IRGRP;
    bool others = st.st_mode & S_IROTH;
    while (group || others) {
        const QString parent = QFileInfo(path).path();
        if (parent == path || stat(QFile::encodeName(parent).constData(), &st) != 0) break;
        group = group && (st.st_mode & S_IXGRP);
        others = others && (st.st_mode & S_IXOTH);
        path = parent;
    }
    return group || others;
#else
    Q_UNUSED(file);
    return false; // %APPDATA% is the user's own
#endif
}

// The unquoted values holding a ";" or a "," in each section, as the file has them: QSettings takes
// a ";" for the start of a comment and a "," for a list separator, which would cut connection options
// ("connect_timeout=5;sslmode=verify-full" would lose its sslmode) and passwords short.
static QMap<QString, QMap<QString, QString>> rawValues(const QString &file)
{
    QMap<QString, QMap<QString, QString>> values;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return values;
    QString section;
    for (const QString &read : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        const QString line = read.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toUpper();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')) || eq <= 0) continue;
        const QString value = line.mid(eq + 1).trimmed();
        // Quoted values, and those QSettings reads whole, stay QSettings's.
        if (!value.startsWith(QLatin1Char('"')) &&
            (value.contains(QLatin1Char(';')) || value.contains(QLatin1Char(','))))
            values[section][line.left(eq).trimmed().toLower()] = value;
    }
    return values;
}

// A libpq connection value, quoted.
static QString connectionValue(const QString &value)
{
    return QLatin1Char('\'') +
           QString(value)
               .replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
               .replace(QLatin1Char('\''), QStringLiteral("\\'")) +
           QLatin1Char('\'');
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
    const QMap<QString, QMap<QString, QString>> raw = rawValues(file);
    for (const QString &group : ini.childGroups()) {
        const QMap<QString, QString> as = raw.value(group.toUpper());
        ini.beginGroup(group);
        Parameters p;
        p.driver = ini.value(QStringLiteral("driver")).toString().trimmed();
        p.database = ini.value(QStringLiteral("database")).toString().trimmed();
        p.host = ini.value(QStringLiteral("host")).toString().trimmed();
        p.port = ini.value(QStringLiteral("port")).toInt();
        p.user = ini.value(QStringLiteral("user")).toString();
        p.password = as.value(QStringLiteral("password"), ini.value(QStringLiteral("password")).toString());
        p.options = as.value(QStringLiteral("options"), ini.value(QStringLiteral("options")).toString());
        p.service = ini.value(QStringLiteral("service")).toString().trimmed();
        ini.endGroup();
        const bool fromService = !p.service.isEmpty() && p.driver != QLatin1String("QSQLITE");
        if (fromService)
            p.options = QStringLiteral("service=") + connectionValue(p.service) +
                        (p.options.isEmpty() ? QString() : QLatin1Char(' ') + p.options);
        if (p.driver.isEmpty() || (p.database.isEmpty() && !fromService))
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
    m_notice.clear();
    const bool password = std::any_of(m_entities.cbegin(), m_entities.cend(),
                                      [](const Parameters &p) { return !p.password.isEmpty(); });
    if (password && readableByOthers(file)) {
        const QString native = QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
        m_notice =
            QStringLiteral("Aviso: el archivo de parámetros '%1' guarda la contraseña del servidor y otros "
                           "usuarios de este equipo pueden leerlo. Protéjalo (chmod 600 '%1') o quite la "
                           "contraseña y guárdela en el archivo de contraseñas de PostgreSQL "
                           "(~/.pgpass).")
                .arg(native);
        // Said once per run, however often the parameters are read again.
        static bool told = false;
        if (!told) {
            told = true;
            std::fprintf(stderr, "%s\n", m_notice.toLocal8Bit().constData());
            std::fflush(stderr);
        }
    }
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
    if (p.host.isEmpty() && !p.service.isEmpty())
        return QStringLiteral("entidad %1, servicio %2").arg(entities.join(QLatin1Char('/')), p.service);
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
