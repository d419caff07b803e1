#include "modGlobal.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QProcessEnvironment>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace modGlobal {

QString ObtenerUsuario()
{
    QString name;
#ifdef Q_OS_WIN
    name = qEnvironmentVariable("USERNAME");
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

QString QuitarComaFinal(QString &text)
{
    qsizetype i = text.size() - 1;
    while (i >= 0 && text.at(i) == QLatin1Char(' '))
        --i;
    if (i < 0 || text.at(i) != QLatin1Char(',')) return text;
    text.truncate(i);
    return text;
}

} // namespace modGlobal
