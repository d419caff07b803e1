#include "modGlobal.h"

#include "data/SystemUser.h"

namespace modGlobal {

QString ObtenerUsuario()
{
    return systemuser::login();
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
