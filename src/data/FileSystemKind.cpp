#include "FileSystemKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_LINUX)
#include <sys/vfs.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_MACOS)
#include <sys/mount.h>
#include <sys/param.h>
#endif

namespace filesystem {

namespace {

std::function<Info(const QString &)> &probe()
{
    static std::function<Info(const QString &)> p;
    return p;
}

#if defined(Q_OS_LINUX)
Info linuxKind(const QString &path)
{
    struct statfs st {};
    if (statfs(QFile::encodeName(path).constData(), &st) != 0) return {};
    // f_type magic numbers of linux/magic.h and the file systems' own headers.
    struct Magic {
        unsigned long value;
        const char *name;
    };
    static constexpr Magic network[] = {
        {0x6969UL, "nfs"},          {0x517BUL, "smb"},        {0xFF534D42UL, "cifs"},
        {0xFE534D42UL, "smb2"},     {0x65735546UL, "fuse"},   {0x01021997UL, "9p"},
        {0x73757245UL, "coda"},     {0x5346414FUL, "afs"},    {0x6B414653UL, "afs"},
        {0x00C36400UL, "ceph"},     {0x564CUL, "ncp"},        {0x47504653UL, "gpfs"},
        {0x0BD00BD0UL, "lustre"},   {0x19830326UL, "fhgfs"},  {0x013111A8UL, "ibrix"},
    };
    const auto type = static_cast<unsigned long>(st.f_type) & 0xFFFFFFFFUL;
    for (const Magic &m : network)
        if (type == m.value) return {Kind::Network, QString::fromLatin1(m.name)};
    return {};
}
#elif defined(Q_OS_WIN)
Info windowsKind(const QString &path)
{
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (native.startsWith(QLatin1String("\\\\")) && !native.startsWith(QLatin1String("\\\\?\\")))
        return {Kind::Network, QStringLiteral("remota")};
    wchar_t root[MAX_PATH] = {};
    if (!GetVolumePathNameW(reinterpret_cast<const wchar_t *>(native.utf16()), root, MAX_PATH)) return {};
    if (GetDriveTypeW(root) == DRIVE_REMOTE) return {Kind::Network, QStringLiteral("remota")};
    return {};
}
#elif defined(Q_OS_MACOS)
Info macKind(const QString &path)
{
    struct statfs st {};
    if (statfs(QFile::encodeName(path).constData(), &st) != 0) return {};
    if (st.f_flags & MNT_LOCAL) return {};
    return {Kind::Network, QString::fromLatin1(st.f_fstypename)};
}
#endif

} // namespace

Info of(const QString &path)
{
    if (probe()) return probe()(path);
#if defined(Q_OS_LINUX)
    return linuxKind(path);
#elif defined(Q_OS_WIN)
    return windowsKind(path);
#elif defined(Q_OS_MACOS)
    return macKind(path);
#else
    Q_UNUSED(path);
    return {};
#endif
}

void setProbe(std::function<Info(const QString &)> p)
{
    probe() = std::move(p);
}

} // namespace filesystem
