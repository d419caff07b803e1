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

static constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// The per-user folder is the user's alone (calvera.ini may hold a server's password): created 0700,
// and closed to others when an earlier version left it open. %APPDATA% is private already.
static void makePrivate(const QString &folder)
{
#ifdef Q_OS_UNIX
    if (QFileInfo(folder).isDir())
        QFile::setPermissions(folder, kOwnerOnly);
    else if (QDir().mkpath(QFileInfo(folder).path()))
        QDir().mkdir(folder, kOwnerOnly);
#else
    Q_UNUSED(folder);
#endif
}

// Copies the files of the folder `source` into target/db, which does not exist yet; in a private
// folder they are the user's alone (0600).
static bool seed(const QString &source, const QString &target, bool own, QString *problem)
{
    const QDir from(source);
    const QString to = QDir(target).filePath(QStringLiteral("db"));
    if (own) makePrivate(to);
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
        QFile::setPermissions(copy, own ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                        : QFile::permissions(copy) | QFileDevice::WriteOwner |
                                              QFileDevice::ReadOwner);
    }
    return true;
}

// The demo databases as shipped: the installed ones, else the copy a build keeps beside the
// program that no program opens (db-pristine), else a db/ beside the program that nobody can write
// (a read-only copy). A writable db/ beside the program is a working folder (a build's, after the
// program ran there): what it holds is an operator's, never a new folder's start.
static QString seedSource(const Places &places)
{
    const auto dbOf = [](const QString &folder) { return QDir(folder).filePath(QStringLiteral("db")); };
    if (holdsData(places.installedData)) return dbOf(places.installedData);
    if (places.programFolder.isEmpty()) return QString();
    const QString pristine = QDir(places.programFolder).filePath(QStringLiteral("db-pristine"));
    if (QFileInfo(pristine).isDir()) return pristine;
    if (holdsData(places.programFolder) &&
        !(places.canWrite ? places.canWrite(places.programFolder) : writable(places.programFolder)))
        return dbOf(places.programFolder);
    return QString();
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
    const bool own = !folder.isEmpty() && folder == places.userData;
    if (own) makePrivate(folder);
    if (folder.isEmpty() || holdsData(folder))
        return folder;
    const QString source = seedSource(places);
    if (source.isEmpty()) {
        if (problem)
            *problem = QStringLiteral("No hay datos instalados para crear ") + QDir::toNativeSeparators(folder);
        return folder;
    }
    seed(source, folder, own, problem);
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
