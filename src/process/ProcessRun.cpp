#include "ProcessRun.h"

#include "data/DataConnection.h"
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

bool ProcessRun::query(DataConnection &connection, const Statement &statement, Recordset &rs)
{
    if (observer) observer(statement.literal());
    rs.Close();
    QStringList names;
    QVector<QVector<QVariant>> rows = connection.rows(Statement(statement).prepared(), &names);
    rs.assign(names, std::move(rows));
    return rs.RecordCount() > 0;
}

long long ProcessRun::execute(DataConnection &connection, const Statement &statement)
{
    if (observer) observer(statement.literal());
    return connection.run(Statement(statement).prepared());
}

QVector<QVector<QVariant>> ProcessRun::rows(DataConnection &connection, const QString &statement)
{
    if (observer) observer(statement);
    connection.Sql = statement;
    return connection.rows(Statement(statement));
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
