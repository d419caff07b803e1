#include "ProcessRun.h"

#include "data/DataConnection.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "import/FieldLabels.h"
#include "import/SheetGridModel.h"

QString ColumnMap::label(Field field)
{
    switch (field) {
    case Field::CodArticulo:
        return fieldlabels::CodArticulo;
    case Field::Marca:
        return fieldlabels::Marca;
    case Field::DescrModelo:
        return fieldlabels::DescrModelo;
    case Field::DescrMaria:
        return fieldlabels::DescrMaria;
    case Field::KgNeto:
        return fieldlabels::KgNeto;
    case Field::KgBruto:
        return fieldlabels::KgBruto;
    case Field::Cantidad:
        return fieldlabels::Cantidad;
    case Field::PUnitario:
        return fieldlabels::PUnitario;
    case Field::PTotal:
        return fieldlabels::PTotal;
    case Field::PaNcm:
        return fieldlabels::PaNcm;
    case Field::Unidad:
        return fieldlabels::Unidad;
    case Field::Origen:
        return fieldlabels::Origen;
    }
    return QString();
}

ColumnMap ColumnMap::recognise(const SheetGridModel &grid)
{
    ColumnMap map;
    for (int col = 0; col < grid.cols(); ++col) {
        const QString text = grid.text(1, col);
        for (int f = 0; f < kFieldCount; ++f) {
            if (text == label(Field(f))) {
                map.set(Field(f), col);
                break;
            }
        }
    }
    return map;
}

Statement &Statement::sql(const QString &piece)
{
    m_shape += piece;
    return *this;
}

Statement &Statement::text(const QString &value)
{
    m_shape += QLatin1Char('?');
    // As the literal: never Null (a null QString would bind as Null), and without NUL characters.
    QString bound = value.isNull() ? QStringLiteral("") : value;
    if (bound.contains(QChar(0))) bound.remove(QChar(0));
    m_values << bound;
    return *this;
}

Statement &Statement::number(double value)
{
    m_shape += QLatin1Char('?');
    m_values << value;
    return *this;
}

Statement &Statement::integer(qint64 value)
{
    m_shape += QLatin1Char('?');
    m_values << value;
    return *this;
}

Statement &Statement::numberFromText(const QString &cell)
{
    if (cell.isEmpty()) {
        m_shape += QLatin1Char('?');
        m_values << QVariant();
        return *this;
    }
    return number(vb::cdbl(cell));
}

Statement &Statement::append(const Statement &other)
{
    m_shape += other.m_shape;
    m_values += other.m_values;
    return *this;
}

QString Statement::literal() const
{
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

bool ProcessRun::query(DataConnection &connection, const Statement &statement, Recordset &rs)
{
    if (observer) observer(statement.literal());
    return connection.CrearRsPrepared(rs, statement.shape(), statement.values());
}

long long ProcessRun::execute(DataConnection &connection, const Statement &statement)
{
    if (observer) observer(statement.literal());
    return connection.EjecutarPrepared(statement.shape(), statement.values());
}

QVector<QVector<QVariant>> ProcessRun::rows(DataConnection &connection, const QString &statement)
{
    if (observer) observer(statement);
    connection.Sql = statement;
    return connection.selectRows(statement);
}

bool ProcessRun::query(DataConnection &connection, const QString &statement, Recordset &rs)
{
    if (observer) observer(statement);
    connection.Sql = statement;
    return connection.CrearRs(rs);
}

long long ProcessRun::execute(DataConnection &connection, const QString &statement)
{
    if (observer) observer(statement);
    connection.Sql = statement;
    return connection.Ejecutar();
}

Batch::Batch(DataConnection &connection) : m_connection(connection)
{
    m_connection.beginBatch();
}

Batch::~Batch()
{
    if (!m_open) return;
    try {
        m_connection.commitBatch();
    } catch (...) {
        // Unwinding from the error being reported; that error is the one the operator sees.
    }
}

void Batch::commit()
{
    if (!m_open) return;
    m_open = false;
    m_connection.commitBatch();
}
