#include "SystemUser.h"

#include <QtGlobal>
#include <iterator>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace systemuser {

QString login()
{
    QString name;
#ifdef Q_OS_WIN
    wchar_t buffer[257];
    DWORD size = DWORD(std::size(buffer));
    if (GetUserNameW(buffer, &size) && size > 0) name = QString::fromWCharArray(buffer, int(size) - 1);
    if (name.isEmpty()) name = qEnvironmentVariable("USERNAME");
#else
    if (const passwd *pw = getpwuid(geteuid()); pw && pw->pw_name) name = QString::fromLocal8Bit(pw->pw_name);
    if (name.isEmpty()) name = qEnvironmentVariable("USER");
#endif
    // The original offered 255 characters of its buffer and cut at the first NUL.
    const qsizetype nul = name.indexOf(QChar(0));
    if (nul >= 0) name.truncate(nul);
    name.truncate(255);
    if (name.isEmpty()) return QStringLiteral("(Desconocido)");
    return name;
}

} // namespace systemuser
