#pragma once

#include <QString>

class SheetGridModel;

// The mapping row (row 1 of the preview grid) and what it says about each field.
namespace mapping {

// The row of the grid that holds the field labels.
inline constexpr int MappingRow = 1;

// Number of columns whose mapping cell is exactly `label`, counted over the whole row.
// Throws PlanexoError when the grid has no mapping row (a load that found no data rows).
int countMapped(const SheetGridModel &grid, const QString &label);
// The first column mapped to `label`, or -1.
int columnOf(const SheetGridModel &grid, const QString &label);
// The message of the first failing check, or empty text when the automatic process may start.
QString firstProblem(const SheetGridModel &grid);

} // namespace mapping
