#include "Stage1Storing.h"

#include "CountryResolver.h"
#include "ProcessRun.h"
#include "SuffixText.h"
#include "app/Progress.h"
#include "app/SharedState.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "import/SheetGridModel.h"

#include <cmath>

QString Stage1Storing::insertPrefix(const QString &shipment)
{
    return QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTTKG, ARTCAN, ARTUNI, ARTTOT "
                          ",PRCNCM,PRCDUN,ARTORG,ARTKGB,MARCA,DESCRIPCION_MARIA,PRCSUF) values (") +
           sql::text(shipment) + QStringLiteral(", ");
}

QString Stage1Storing::unitPrice(const QString &totalCell, const QString &quantityCell)
{
    const double total = vb::cdbl(vb::format(totalCell, QStringLiteral("00.00")));
    const double quantity = vb::cdbl(quantityCell);
    if (quantity == 0)
        throw PlanexoError::divisionByZero();
    const double quotient = total / quantity;
    if (!std::isfinite(quotient))
        throw PlanexoError(6, QStringLiteral("Desbordamiento"), QStringLiteral("Planexo"));
    return vb::format(quotient, QStringLiteral("00.0000"));
}

QString Stage1Storing::cell(const SheetGridModel &grid, int row, int field) const
{
    const int col = m_run.columns.column(Field(field));
    return col < 0 ? QString() : grid.text(row, col);
}

QString Stage1Storing::rowValues(const SheetGridModel &grid, int row, int order)
{
    const SharedState &s = m_run.state;
    const ColumnMap &map = m_run.columns;
    auto text = [&](Field f) { return cell(grid, row, int(f)); };
    const QLatin1Char comma(',');

    m_run.step = step::RowValues;
    // Numbers go in as numbers: the row order unquoted, numeric cells as literals of their value.
    QString v = QString::number(order) + comma;

    QString code = text(Field::CodArticulo);
    code.replace(QLatin1Char('\''), QLatin1Char(' '));
    v += sql::text(code.trimmed()) + comma;

    if (map.has(Field::DescrModelo)) {
        QString description = text(Field::DescrModelo).trimmed();
        description.replace(QLatin1Char('\''), QLatin1Char(' '));
        v += sql::text(description) + comma;
    } else {
        v += QStringLiteral("'',");
    }

    v += (map.has(Field::KgNeto) ? sql::numberFromText(text(Field::KgNeto)) : QStringLiteral("0")) + comma;
    v += (map.has(Field::Cantidad) ? sql::numberFromText(text(Field::Cantidad)) : QStringLiteral("0")) + comma;

    m_run.step = step::UnitPrice;
    v += sql::numberFromText(unitPrice(text(Field::PTotal), text(Field::Cantidad))) + comma;
    v += sql::numberFromText(vb::format(text(Field::PTotal), QStringLiteral("00.00"))) + comma;

    m_run.step = step::RowValues;
    v += (map.has(Field::PaNcm) ? sql::text(text(Field::PaNcm)) : QStringLiteral("''")) + comma;
    v += sql::text(map.has(Field::Unidad) ? vb::format(text(Field::Unidad), QStringLiteral("00")) : s.INTDUN) + comma;

    if (map.has(Field::Origen)) {
        m_run.step = step::OriginCountry;
        v += sql::text(m_countries.ObtenerCodigoPais(text(Field::Origen))) + comma;
        m_run.step = step::RowValues;
    } else {
        v += QStringLiteral("'',");
    }

    v += (map.has(Field::KgBruto) ? sql::numberFromText(text(Field::KgBruto)) : QStringLiteral("0")) + comma;
    v += sql::text(map.has(Field::Marca) ? text(Field::Marca) : s.AA_MARCA) + comma;
    v += (map.has(Field::DescrMaria) ? sql::text(text(Field::DescrMaria)) : QStringLiteral("''")) + comma;

    if (map.has(Field::Marca)) {
        const QString withBrand = cambiarCadenaSufijo(QString(), QStringLiteral("AA"), text(Field::Marca));
        v += sql::text(cambiarCadenaSufijo(withBrand, QStringLiteral("AB"), text(Field::CodArticulo)));
    } else {
        v += QStringLiteral("''");
    }
    return v + QLatin1Char(')');
}

void Stage1Storing::run(const SheetGridModel &grid)
{
    SharedState &s = m_run.state;
    oAlm::clGestor &db = *s.gestor;
    WriteBatch batch(db);

    m_run.step = step::DeleteRows;
    m_run.execute(db, QStringLiteral("delete from ART where INTNRO = ") + sql::text(s.sInternoActual));

    m_run.step = step::Stage1Start;
    m_run.progress.setCaption(QStringLiteral("Procesando... Etapa 1 de 4: Guardando en base de datos"));
    m_run.progress.setMinimum(0);
    m_run.progress.setValue(1);
    m_run.progress.setMaximum(grid.rows() - 1);

    m_run.buffer = insertPrefix(s.sInternoActual);
    int order = 1;
    for (int row = 2; row < grid.rows(); ++row) {
        const QString statement = m_run.buffer + rowValues(grid, row, order++);
        m_run.step = step::InsertRow;
        m_run.execute(db, statement);
        m_run.progress.setValue(row);
    }
    batch.commit();
}
