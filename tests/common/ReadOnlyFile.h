#pragma once

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <utility>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

// Makes a file read-only for this process: no write permission (on Windows the read-only
// attribute, which binds administrators too), and on Linux for root, which ignores permissions,
// the immutable attribute too. Undone when it goes.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(QString path) : m_path(std::move(path))
    {
        m_permissions = QFile::permissions(m_path);
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
#ifdef Q_OS_LINUX
        m_immutable = geteuid() == 0 && setImmutable(true);
#endif
    }
    ~ReadOnlyFile()
    {
#ifdef Q_OS_LINUX
        if (m_immutable) setImmutable(false);
#endif
        QFile::setPermissions(m_path, m_permissions);
    }
#ifdef Q_OS_LINUX
    bool holds() const { return geteuid() != 0 || m_immutable; }
#else
    bool holds() const { return !QFileInfo(m_path).isWritable(); }
#endif

  private:
#ifdef Q_OS_LINUX
    bool setImmutable(bool on) const
    {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return ok;
    }
#endif

    QString m_path;
    QFile::Permissions m_permissions;
    bool m_immutable = false;
};

