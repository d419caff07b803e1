#pragma once

#include <QString>
#include <QVector>

class SheetGridModel;
struct SheetPreview;

// What the hint line of step 2 proposes about an invoice laid out with a letterhead, a totals row
// or its items on another sheet. Nothing here changes the grid: the keys do.
namespace layoutproposal {

// The first row with at least three non-empty text cells followed by a row with numbers under at
// least two of them; 0 when no row fits (a load then keeps row 1).
int headingRow(const SheetPreview &preview);
// Whether a cell carries a totals word (TOTAL, SUBTOTAL, SUB-TOTAL, FOB, CIF, FLETE, SEGURO,
// IMPORTE TOTAL, ...), in any case and with or without accents.
bool carriesTotalsWord(const QString &text);
// The grid rows directly under the items that hold totals: the last data rows whose article-code
// cell (column codeColumn, or the first column when it is -1) is empty and one of whose cells
// carries a totals word. Ascending.
QVector<int> totalsRows(const SheetGridModel &grid, int codeColumn);

} // namespace layoutproposal
