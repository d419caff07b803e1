#include "SuffixVerification.h"

QString VerificarSufijos(const QString &NCM, QString &SufijoAnt, int Modificar, QString &p_Articulo)
{
    Q_UNUSED(NCM);
    Q_UNUSED(SufijoAnt);
    Q_UNUSED(Modificar);
    Q_UNUSED(p_Articulo);
    return QString();
}

QString m_sVALCADENA(const QString &text)
{
    return text;
}

QChar m_sVALCHAR(QChar c)
{
    return c;
}
