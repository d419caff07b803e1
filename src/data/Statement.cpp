#include "data/Statement.h"

#include "data/SqlText.h"
#include "data/VbFormat.h"

Statement &Statement::sql(const QString &piece)
{
    m_shape += piece;
    return *this;
}

Statement &Statement::bind(QVariant value)
{
    m_shape += QLatin1Char('?');
    m_values << std::move(value);
    prepared();
    return *this;
}

Statement &Statement::text(const QString &value)
{
    // As the literal: never Null (a null QString would bind as Null), and without NUL characters.
    QString bound = value.isNull() ? QStringLiteral("") : value;
    if (bound.contains(QChar(0))) bound.remove(QChar(0));
    return bind(bound);
}

Statement &Statement::number(double value)
{
    return bind(value);
}

Statement &Statement::integer(qint64 value)
{
    return bind(value);
}

Statement &Statement::numberFromText(const QString &cell)
{
    if (cell.isEmpty()) return bind(QVariant());
    return number(vb::cdbl(cell));
}

Statement &Statement::append(const Statement &other)
{
    m_shape += other.m_shape;
    m_values += other.m_values;
    if (other.m_form != Form::Text) prepared();
    return *this;
}

QString Statement::literal() const
{
    if (m_values.isEmpty()) return m_shape;
    QString text;
    text.reserve(m_shape.size() + 16 * m_values.size());
    qsizetype next = 0;
    for (const QChar c : m_shape) {
        if (c != QLatin1Char('?') || next >= m_values.size()) {
            text += c;
            continue;
        }
        const QVariant &value = m_values[next++];
        switch (value.typeId()) {
        case QMetaType::QString:
            text += sql::text(value.toString());
            break;
        case QMetaType::Double:
            text += sql::number(value.toDouble());
            break;
        case QMetaType::LongLong:
            text += QString::number(value.toLongLong());
            break;
        default:
            text += QStringLiteral("Null");
        }
    }
    return text;
}
