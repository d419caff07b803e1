#include "shared/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace datafolder {

static bool holdsData(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(QStringLiteral("db"))).isDir();
}

bool writable(const QString &folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".planexo-XXXXXX")));
    return probe.open();
}

// Copies the files of source/db into target/db, which does not exist yet.
static bool seed(const QString &source, const QString &target, QString *problem)
{
    const QDir from(QDir(source).filePath(QStringLiteral("db")));
    const QString to = QDir(target).filePath(QStringLiteral("db"));
    if (!QDir().mkpath(to)) {
        if (problem)
            *problem = QStringLiteral("No se pudo crear la carpeta ") + QDir::toNativeSeparators(to);
        return false;
    }
    for (const QString &name : from.entryList(QDir::Files)) {
        const QString copy = QDir(to).filePath(name);
        if (!QFile::copy(from.filePath(name), copy)) {
            if (problem)
                *problem = QStringLiteral("No se pudo copiar ") + QDir::toNativeSeparators(from.filePath(name)) +
                           QStringLiteral(" a ") + QDir::toNativeSeparators(to);
            return false;
        }
        // Installed files are read-only; the copies are the user's own.
        QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    }
    return true;
}

QString choose(const Places &places, QString *problem)
{
    if (problem)
        problem->clear();
    QString folder;
    if (!places.override.isEmpty())
        folder = places.override;
    else if (holdsData(places.programFolder) &&
             (places.canWrite ? places.canWrite(places.programFolder) : writable(places.programFolder)))
        folder = places.programFolder;
    else
        folder = places.userData;
    if (folder.isEmpty() || holdsData(folder))
        return folder;
    const QString source = holdsData(places.installedData)   ? places.installedData
                           : holdsData(places.programFolder) ? places.programFolder
                                                             : QString();
    if (source.isEmpty()) {
        if (problem)
            *problem = QStringLiteral("No hay datos instalados para crear ") + QDir::toNativeSeparators(folder);
        return folder;
    }
    seed(source, folder, problem);
    return folder;
}

Places current()
{
    Places p;
    p.programFolder = QCoreApplication::applicationDirPath();
    p.installedData = QDir::cleanPath(p.programFolder + QStringLiteral("/../share/planexo"));
    p.userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    p.override = qEnvironmentVariable("PLANEXO_DATA");
    return p;
}

} // namespace datafolder
