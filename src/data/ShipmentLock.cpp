#include "ShipmentLock.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

ShipmentLock::~ShipmentLock()
{
    release();
}

QString ShipmentLock::fileFor(const QString &databaseFile, const QString &shipment)
{
    const QByteArray hash = QCryptographicHash::hash(shipment.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QFileInfo(databaseFile).absoluteFilePath() + QLatin1Char('.') + QString::fromLatin1(hash) +
           QStringLiteral(".lock");
}

QString ShipmentLock::busyMessage(const QString &shipment)
{
    return QStringLiteral("El interno ") + shipment + QStringLiteral(" está siendo procesado en otro puesto");
}

#ifdef Q_OS_WIN

ShipmentLock::Result ShipmentLock::acquire(const QString &databaseFile, const QString &shipment)
{
    release();
    const QString file = fileFor(databaseFile, shipment);
    // Opened without sharing, the file is this process's until its handle closes, also when the
    // process dies; it is deleted with the last handle.
    const HANDLE h =
        CreateFileW(reinterpret_cast<const wchar_t *>(file.utf16()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? Result::HeldElsewhere
                                                                                 : Result::Unavailable;
    }
    m_handle = h;
    m_file = file;
    return Result::Acquired;
}

void ShipmentLock::release()
{
    if (m_handle == kNoHandle) return;
    CloseHandle(m_handle);
    m_handle = kNoHandle;
    m_file.clear();
}

#else

ShipmentLock::Result ShipmentLock::acquire(const QString &databaseFile, const QString &shipment)
{
    release();
    const QString file = fileFor(databaseFile, shipment);
    const QByteArray path = QFile::encodeName(file);
    for (;;) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) return Result::Unavailable;
        // flock belongs to the open file, not the process: a second object here conflicts too.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
        }
        // The holder before us may have removed the file after we opened it: then our lock is on a
        // file nobody else sees, and we start over.
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            m_handle = fd;
            m_file = file;
            return Result::Acquired;
        }
        ::close(fd);
    }
}

void ShipmentLock::release()
{
    if (m_handle == kNoHandle) return;
    // Removed while still locked, so no one locks the old file after us.
    ::unlink(QFile::encodeName(m_file).constData());
    ::close(m_handle);
    m_handle = kNoHandle;
    m_file.clear();
}

#endif
