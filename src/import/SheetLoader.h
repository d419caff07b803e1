#pragma once

#include "import/LoadPlan.h"

#include <QString>
#include <functional>

class PlanexoError;
class SheetGridModel;
struct SheetPreview;

// Copies the first worksheet into the preview grid: headings in row 0, an empty mapping row 1 shown
// in blue, the data from row 2, rows 0 and 1 fixed.
namespace sheetloader {

// Reads one cell, row and column from 1 (clEcxel::LeerCelda).
using CellReader = std::function<QString(long row, long col)>;

// Error raised when a sheet has headings but no data row: the grid has no row 1 to select.
inline constexpr long NoDataRowsError = 30009;
PlanexoError noDataRows();

// Fills the grid from the sheet, keeping `step` at the number of the step being run so that a
// failure can name it. Throws PlanexoError; the grid then keeps what the steps before put there.
void fillGrid(const CellReader &readCell, SheetGridModel &grid, int &step);

// Opens the workbook at `path` and fills the grid from its first worksheet (steps 90 to 710).
void loadFile(const QString &path, SheetGridModel &grid, int &step);
// The same by a plan: the plan's worksheet, its heading row with the data from the row below.
void loadFile(const QString &path, const LoadPlan &plan, SheetGridModel &grid, int &step);
// The same, then the plan's removed rows taken out; `rows` learns which sheet row each grid row shows.
// With `preview`, the sheet's first rows are kept into it as they pass (nothing is read twice);
// `left` learns what the blank row that ended the items left below it.
void loadFile(const QString &path, const LoadPlan &plan, SheetGridModel &grid, SheetRows &rows, int &step,
              SheetPreview *preview = nullptr, RowsLeft *left = nullptr);
// The message of a failed load at `step`.
QString failureMessage(const PlanexoError &error, int step);

// The preview grid's column widths in twips for columns 0 to 9; later columns keep the default.
inline constexpr int ColumnWidthsTwips[] = {1500, 2000, 1000, 1100, 1300, 1300, 1500, 1000, 1200, 1200};

} // namespace sheetloader
