#include "Stage1Storing.h"

#include "CountryResolver.h"
#include "ProcessRun.h"
#include "SuffixText.h"
#include "shared/Progress.h"
#include "shared/SharedState.h"
#include "data/PlanexoError.h"
#include "data/SqlText.h"
#include "data/VbFormat.h"
#include "import/SheetGridModel.h"

#include <cmath>
#include <optional>

static QString insertHead()
{
    return QStringLiteral("insert into ART (INTNRO, ARTORD, ARTNRO, ARTDSC, ARTTKG, ARTCAN, ARTUNI, ARTTOT "
                          ",PRCNCM,PRCDUN,ARTORG,ARTKGB,MARCA,DESCRIPCION_MARIA,PRCSUF) values (");
}

QString Stage1Storing::insertPrefix(const QString &shipment)
{
    return insertHead() + sql::text(shipment) + QStringLiteral(", ");
}

QString Stage1Storing::unitPrice(const QString &totalCell, const QString &quantityCell)
{
    return unitPriceOf(vb::format(totalCell, QStringLiteral("00.00")), quantityCell);
}

// Total over quantity: errors 11 and 6 as VB raised them.
static double quotientOf(double total, double quantity)
{
    if (quantity == 0) throw PlanexoError::divisionByZero();
    const double quotient = total / quantity;
    if (!std::isfinite(quotient))
        throw PlanexoError(6, QStringLiteral("Desbordamiento"), QStringLiteral("Planexo"));
    return quotient;
}

QString Stage1Storing::unitPriceOf(const QString &formattedTotal, const QString &quantityCell)
{
    const double total = vb::cdbl(formattedTotal);
    return vb::format(quotientOf(total, vb::cdbl(quantityCell)), QStringLiteral("00.0000"));
}

// The number that the value formatted with `decimals` decimals reads back as, without the text:
// the same decimal rounding, and never a negative zero (the format writes no sign for zero).
static double formattedNumber(double value, int decimals)
{
    const double r = vb::roundHalfAway(value, decimals);
    return r == 0 ? 0.0 : r;
}

// True when a cell writes its number plainly (an optional minus, digits, the regional separator)
// with at most `decimals` decimals and 15 digits in all: its number is then already the one that
// formattedNumber gives, as 15 digits survive the way to a double and back.
static bool plainWithin(const QString &cell, int decimals)
{
    const QChar separator = vb::decimalSeparator();
    int digits = 0;
    int after = -1;
    for (qsizetype i = cell.startsWith(QLatin1Char('-')) ? 1 : 0; i < cell.size(); ++i) {
        const QChar c = cell[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            ++digits;
            if (after >= 0) ++after;
        } else if (c == separator && after < 0) {
            after = 0;
        } else {
            return false;
        }
    }
    return digits > 0 && digits <= 15 && after <= decimals;
}

// The cell's number formatted with `decimals` decimals, as that text reads back.
static double cellFormatted(const QString &cell, int decimals)
{
    const double value = vb::cdbl(cell);
    if (!plainWithin(cell, decimals)) return formattedNumber(value, decimals);
    return value == 0 ? 0.0 : value;
}

QString Stage1Storing::cell(const SheetGridModel &grid, int row, int field) const
{
    const int col = m_run.columns.column(Field(field));
    return col < 0 ? QString() : grid.text(row, col);
}

void Stage1Storing::appendRow(Statement &st, const SheetGridModel &grid, int row, int order)
{
    const SharedState &s = m_run.state;
    const ColumnMap &map = m_run.columns;
    auto text = [&](Field f) { return cell(grid, row, int(f)); };
    const QString comma = QStringLiteral(",");

    m_run.step = step::RowValues;
    // Numbers go in as numbers: the row order unquoted, numeric cells as their value.
    st.integer(order).sql(comma);

    QString code = text(Field::CodArticulo);
    code.replace(QLatin1Char('\''), QLatin1Char(' '));
    st.text(code.trimmed()).sql(comma);

    if (map.has(Field::DescrModelo)) {
        QString description = text(Field::DescrModelo).trimmed();
        description.replace(QLatin1Char('\''), QLatin1Char(' '));
        st.text(description).sql(comma);
    } else {
        st.sql(QStringLiteral("'',"));
    }

    if (map.has(Field::KgNeto))
        st.numberFromText(text(Field::KgNeto)).sql(comma);
    else
        st.sql(QStringLiteral("0,"));
    // Each cell is read as a number once; the stored values are those of the texts the formats
    // give ("00.00" total, "00.0000" unit price).
    const QString quantityCell = text(Field::Cantidad);
    std::optional<double> quantity;
    if (map.has(Field::Cantidad)) {
        if (!quantityCell.isEmpty()) quantity = vb::cdbl(quantityCell);
        if (quantity)
            st.number(*quantity).sql(comma);
        else
            st.numberFromText(quantityCell).sql(comma);
    } else {
        st.sql(QStringLiteral("0,"));
    }

    m_run.step = step::UnitPrice;
    const double total = cellFormatted(text(Field::PTotal), 2);
    const double divisor = quantity ? *quantity : vb::cdbl(quantityCell);
    st.number(formattedNumber(quotientOf(total, divisor), 4)).sql(comma);
    st.number(total).sql(comma);

    m_run.step = step::RowValues;
    if (map.has(Field::PaNcm))
        st.text(text(Field::PaNcm)).sql(comma);
    else
        st.sql(QStringLiteral("'',"));
    st.text(map.has(Field::Unidad) ? vb::format(text(Field::Unidad), QStringLiteral("00")) : s.INTDUN)
        .sql(comma);

    if (map.has(Field::Origen)) {
        m_run.step = step::OriginCountry;
        st.text(m_countries.ObtenerCodigoPais(text(Field::Origen))).sql(comma);
        m_run.step = step::RowValues;
    } else {
        st.sql(QStringLiteral("'',"));
    }

    if (map.has(Field::KgBruto))
        st.numberFromText(text(Field::KgBruto)).sql(comma);
    else
        st.sql(QStringLiteral("0,"));
    st.text(map.has(Field::Marca) ? text(Field::Marca) : s.AA_MARCA).sql(comma);
    if (map.has(Field::DescrMaria))
        st.text(text(Field::DescrMaria)).sql(comma);
    else
        st.sql(QStringLiteral("'',"));

    if (map.has(Field::Marca)) {
        const QString withBrand = cambiarCadenaSufijo(QString(), QStringLiteral("AA"), text(Field::Marca));
        st.text(cambiarCadenaSufijo(withBrand, QStringLiteral("AB"), text(Field::CodArticulo)));
    } else {
        st.sql(QStringLiteral("''"));
    }
    st.sql(QStringLiteral(")"));
}

namespace {

// The stage's delete and inserts as one transaction of their own: all of them stay, or none, and a
// row that fails leaves the shipment's articles as they were. A savepoint rather than a batch,
// whose writes would run again one by one should the engine drop its transaction.
class AllOrNothing {
  public:
    explicit AllOrNothing(DataConnection &db) : m_db(db) { run(QStringLiteral("SAVEPOINT stage1")); }
    ~AllOrNothing()
    {
        if (!m_open) return;
        try {
            run(QStringLiteral("ROLLBACK TO stage1"));
            run(QStringLiteral("RELEASE stage1"));
        } catch (const PlanexoError &) {
            // A transaction the engine dropped has nothing left to undo.
        }
    }
    AllOrNothing(const AllOrNothing &) = delete;
    AllOrNothing &operator=(const AllOrNothing &) = delete;
    void commit()
    {
        run(QStringLiteral("RELEASE stage1"));
        m_open = false;
    }

  private:
    void run(const QString &statement)
    {
        const QString kept = m_db.Sql;
        m_db.Sql = statement;
        try {
            m_db.Ejecutar();
        } catch (...) {
            m_db.Sql = kept;
            throw;
        }
        m_db.Sql = kept;
    }

    DataConnection &m_db;
    bool m_open = true;
};

} // namespace

void Stage1Storing::run(const SheetGridModel &grid)
{
    SharedState &s = m_run.state;
    oAlm::clGestor &db = *s.gestor;
    AllOrNothing transaction(db);

    m_run.step = step::DeleteRows;
    m_run.execute(db, QStringLiteral("delete from ART where INTNRO = ") + sql::text(s.sInternoActual));

    m_run.step = step::Stage1Start;
    m_run.progress.setCaption(QStringLiteral("Procesando... Etapa 1 de 4: Guardando en base de datos"));
    m_run.progress.setMinimum(0);
    m_run.progress.setValue(1);
    m_run.progress.setMaximum(grid.rows() - 1);

    m_run.setBuffer(insertPrefix(s.sInternoActual));
    Statement prefix(insertHead());
    prefix.text(s.sInternoActual).sql(QStringLiteral(", "));
    int order = 1;
    for (int row = 2; row < grid.rows(); ++row) {
        Statement statement = prefix;
        appendRow(statement, grid, row, order++);
        m_run.step = step::InsertRow;
        m_run.execute(db, statement);
        m_run.progress.setValue(row);
    }
    transaction.commit();
}
