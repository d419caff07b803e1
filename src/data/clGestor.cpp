#include "clGestor.h"

#include "History.h"
#include "PlanexoError.h"

#include <QAtomicInt>
#include <QDir>

#include <cstdio>

namespace oAlm {

static QAtomicInt s_instances;

clGestor::clGestor()
{
    m_connectionName = QStringLiteral("oAlm.clGestor.%1").arg(s_instances.fetchAndAddRelaxed(1));
    m_source = QStringLiteral("oAlm.clGestor");
}

clGestor::~clGestor() = default;

QString clGestor::connectionStringFor(const QString &programFolder)
{
    QString folder = QDir::toNativeSeparators(programFolder);
    while (folder.size() > 1 && folder.endsWith(QDir::separator()))
        folder.chop(1);
    const QString sep = QDir::separator();
    return QStringLiteral("Provider=QSQLITE;Data Source=") + folder + sep + QStringLiteral("db") + sep +
           QStringLiteral("PlanexoGenericoOstrova.sqlite");
}

void clGestor::Conectar()
{
    QString provider, file;
    for (const QString &part : CadenaConexion.split(QLatin1Char(';'))) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = part.left(eq).trimmed();
        const QString value = part.mid(eq + 1);
        if (key.compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0)
            provider = value.trimmed();
        else if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            file = value;
    }
    if (file.isEmpty())
        throw PlanexoError(-2147467259, QStringLiteral("La cadena de conexión no indica el archivo de datos."),
                           QStringLiteral("oAlm.clGestor.Conectar"));
    if (!provider.isEmpty() && provider != QLatin1String("QSQLITE"))
        throw PlanexoError(-2147467259, QStringLiteral("No se encuentra el proveedor '%1'.").arg(provider),
                           QStringLiteral("oAlm.clGestor.Conectar"));
    openSqlite(m_connectionName, QDir::fromNativeSeparators(file), QStringLiteral("oAlm.clGestor.Conectar"),
               Tuning::Own);
    m_source = QStringLiteral("oAlm.clGestor");
    // Said once per run, however often the work database is opened again.
    static bool told = false;
    if (!notice().isEmpty() && !told) {
        told = true;
        std::fprintf(stderr, "%s\n", notice().toLocal8Bit().constData());
        std::fflush(stderr);
    }
    // A work database made before the history existed gets its table on opening. One this process
    // may not write opens all the same: its first write says why it cannot be changed.
    try {
        history::ensureTable(*this);
    } catch (const PlanexoError &) {
    }
}

} // namespace oAlm
