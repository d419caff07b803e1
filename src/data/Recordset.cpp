#include "Recordset.h"

#include "PlanexoError.h"

void Recordset::assign(const QStringList &names, QVector<QVector<QVariant>> rows)
{
    m_names = names;
    m_rows = std::move(rows);
    m_position = 0;
    m_open = true;
}

void Recordset::MoveNext()
{
    if (m_open && m_position < m_rows.size())
        ++m_position;
}

void Recordset::MoveFirst()
{
    m_position = 0;
}

void Recordset::Close()
{
    m_names.clear();
    m_rows.clear();
    m_position = 0;
    m_open = false;
}

int Recordset::indexOf(const QString &name) const
{
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Recordset::Fields(const QString &name) const
{
    const int i = indexOf(name);
    if (i < 0)
        throw PlanexoError(3265,
                           QStringLiteral("No se encontró el elemento en la colección que corresponde con el "
                                          "nombre o el ordinal solicitado: ") + name,
                           QStringLiteral("ADODB.Fields"));
    if (Eof())
        throw PlanexoError(3021,
                           QStringLiteral("BOF o EOF es True, o el actual registro se eliminó; la operación "
                                          "solicitada requiere un registro actual."),
                           QStringLiteral("ADODB.Field"));
    return m_rows[m_position][i];
}
