#include "SqlText.h"

#include "PlanexoError.h"
#include "VbFormat.h"

#include <QStringList>

QString Dialect::column(const QString &name) const
{
    if (m_engine == Engine::PostgreSQL)
        return QLatin1Char('"') + name + QLatin1Char('"');
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString Dialect::concat(const QStringList &expressions) const
{
    return expressions.join(QStringLiteral(" || "));
}

QString Dialect::left(const QString &expression, int n) const
{
    if (m_engine == Engine::PostgreSQL)
        return QStringLiteral("left(%1,%2)").arg(expression).arg(n);
    return QStringLiteral("substr(%1,1,%2)").arg(expression).arg(n);
}

QString Dialect::dateLiteral(const QDateTime &when) const
{
    const QString text = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (m_engine == Engine::PostgreSQL)
        return QStringLiteral("TIMESTAMP '") + text + QLatin1Char('\'');
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

namespace sql {

QString text(const QString &value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('\'');
    for (const QChar c : value) {
        if (c == QLatin1Char('\''))
            out += QLatin1Char('\'');
        if (c.unicode() == 0)
            continue; // a NUL would cut the statement short
        out += c;
    }
    out += QLatin1Char('\'');
    return out;
}

QString text(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return QStringLiteral("''");
    return text(value.toString());
}

QString valuesTable(const QList<QStringList> &rows)
{
    QStringList tuples;
    tuples.reserve(rows.size());
    for (const QStringList &row : rows) {
        QStringList literals;
        for (const QString &value : row)
            literals << text(value);
        tuples << QLatin1Char('(') + literals.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    return QStringLiteral("(values ") + tuples.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString number(double value)
{
    return vb::sqlNumberLiteral(value);
}

QString numberFromText(const QString &cell)
{
    if (cell.isEmpty())
        return QStringLiteral("Null");
    return number(vb::cdbl(cell));
}

} // namespace sql
