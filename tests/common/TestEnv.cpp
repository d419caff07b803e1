#include "TestEnv.h"

#include "shared/SharedState.h"
#include "data/PlanexoError.h"

#include <QDir>
#include <QFile>
#include <QSettings>

TestEnv::TestEnv()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("db"));
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    const QDir source(QStringLiteral(PLANEXO_BUILD_DB_DIR));
    for (const QString &name : source.entryList({QStringLiteral("*.sqlite"), QStringLiteral("calvera.ini")}, QDir::Files))
        QFile::copy(source.filePath(name), dbFile(name));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
    resetShared();
}

TestEnv::~TestEnv()
{
    resetShared();
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
    c.Sql = statement;
    c.Ejecutar();
}

QVariant TestEnv::scalarCalvera(const QString &entity, const QString &query)
{
    DataConnection &c = shared().enlace->getDataConnectionByEntity(entity);
    Recordset rs;
    c.Sql = query;
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
