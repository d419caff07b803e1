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
// carries a totals word, or, when the codes are in the first column, holds a totals label with only
// numbers beside it. Ascending.
QVector<int> totalsRows(const SheetGridModel &grid, int codeColumn);
// The first column (from 1) with a heading in a sheet row: where a table right of column A starts.
int firstColumn(const SheetPreview &preview, int row);
// Whether a cell is a page line: "Página 2 de 3", "Page 2/3", "Continúa en la página siguiente",
// or a carried subtotal ("Transporte", "A transportar", "Carried forward").
bool isPageLine(const QString &text);

// The data rows proposed for removal: the heading row repeated inside the items (same texts,
// ignoring case, accents and spaces), page lines, the totals rows under the items, and under the
// totals the rows of text alone that end a table taken past blank rows (bank details, a signature;
// a page line among them counts as one).
struct StrayRows {
    QVector<int> repeatedHeadings;
    QVector<int> pageLines; // ascending
    QVector<int> totals;
    QVector<int> foot;
    bool isEmpty() const
    {
        return repeatedHeadings.isEmpty() && pageLines.isEmpty() && totals.isEmpty() && foot.isEmpty();
    }
    // Every one of them, ascending.
    QVector<int> all() const;
    // "quitar 3 filas de títulos repetidos y 1 de totales"
    QString removalText() const;
};
StrayRows strayRows(const SheetGridModel &grid, int codeColumn);

} // namespace layoutproposal
