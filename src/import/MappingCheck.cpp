#include "MappingCheck.h"

#include "FieldLabels.h"
#include "SheetGridModel.h"
#include "SheetLoader.h"
#include "data/PlanexoError.h"

namespace mapping {

static void requireMappingRow(const SheetGridModel &grid)
{
    if (grid.rows() <= MappingRow)
        throw sheetloader::noDataRows();
}

int countMapped(const SheetGridModel &grid, const QString &label)
{
    requireMappingRow(grid);
    int count = 0;
    for (int c = 0; c < grid.cols(); ++c) {
        if (grid.text(MappingRow, c) == label)
            ++count;
    }
    return count;
}

int columnOf(const SheetGridModel &grid, const QString &label)
{
    requireMappingRow(grid);
    for (int c = 0; c < grid.cols(); ++c) {
        if (grid.text(MappingRow, c) == label)
            return c;
    }
    return -1;
}

namespace {
struct Check {
    const QString &label;
    const char *name; // the field's name in the messages
    bool required;
};
} // namespace

QString firstProblem(const SheetGridModel &grid)
{
    using namespace fieldlabels;
    const Check checks[] = {
        {CodArticulo, "ARTICULO", true}, {KgNeto, "KG NETO", false}, {Cantidad, "CANTIDAD", true},
        {PUnitario, "UNITARIO", false},  {PTotal, "TOTAL", true},    {PaNcm, "NCM", false},
        {Unidad, "UNIDAD", false},       {Origen, "ORIGEN", false},
    };
    for (const Check &check : checks) {
        const int count = countMapped(grid, check.label);
        const QString name = QString::fromLatin1(check.name);
        if (count == 0 && check.required)
            return QStringLiteral("Falta establecer el campo ") + name;
        if (count > 1)
            return QStringLiteral("El campo ") + name + QStringLiteral(" solo puede estar en una columna");
    }
    return QString();
}

} // namespace mapping
