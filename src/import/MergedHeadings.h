#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

// Headings under merged cells: a column merged down over two heading rows, a group heading merged
// across the columns whose own headings sit on the row below. The load applies them to a heading
// row other than the Part's (row 1 from column A), which loads cell by cell as it always has.
namespace mergedheadings {

// A merged range of cells, rows and columns from 1, inclusive.
struct Range {
    int firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
    bool covers(int row, int col) const
    {
        return row >= firstRow && row <= lastRow && col >= firstCol && col <= lastCol;
    }
};
using Ranges = QVector<Range>;

// A cell's text, rows and columns from 1.
using CellText = std::function<QString(int row, int col)>;

// Whether any range touches the heading row or the row above it: the only case where the headings
// read differently from the cells of their row.
bool touchesHeadings(const Ranges &ranges, int headingRow);
// The text a heading cell reads: its own, or, covered by a merge, the merge's.
QString cellText(const CellText &text, const Ranges &ranges, int row, int col);
// The headings of row headingRow from column firstCol on, contiguous: a cell covered by a merge
// reads the merge's text, and where the row above holds a merge across several (not all) of the
// table's columns, a heading reads "upper lower" ("PRECIO (USD) P. Unit."). At most maxCols.
QStringList headings(const CellText &text, const Ranges &ranges, int headingRow, int firstCol, int maxCols);

} // namespace mergedheadings
