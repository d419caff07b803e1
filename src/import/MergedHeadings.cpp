#include "import/MergedHeadings.h"

namespace mergedheadings {

namespace {

const Range *covering(const Ranges &ranges, int row, int col)
{
    for (const Range &r : ranges)
        if (r.covers(row, col)) return &r;
    return nullptr;
}

} // namespace

bool touchesHeadings(const Ranges &ranges, int headingRow)
{
    for (const Range &r : ranges)
        if (r.firstRow <= headingRow && r.lastRow >= headingRow - 1 &&
            (r.lastRow > r.firstRow || r.lastCol > r.firstCol))
            return true;
    return false;
}

QString cellText(const CellText &text, const Ranges &ranges, int row, int col)
{
    QString own = text(row, col);
    if (own.isEmpty())
        if (const Range *m = covering(ranges, row, col)) own = text(m->firstRow, m->firstCol);
    return own;
}

QStringList headings(const CellText &text, const Ranges &ranges, int headingRow, int firstCol, int maxCols)
{
    QStringList out;
    for (int c = firstCol; c < firstCol + maxCols; ++c) {
        const QString own = cellText(text, ranges, headingRow, c);
        if (own.isEmpty()) break;
        out << own;
    }
    if (headingRow <= 1) return out;
    const int lastCol = firstCol + int(out.size()) - 1;
    for (int i = 0; i < out.size(); ++i) {
        const int c = firstCol + i;
        // A group heading: merged across some of the table's columns in the row above only. One
        // over the whole table is its title, and one merged down is this column's own heading.
        const Range *up = covering(ranges, headingRow - 1, c);
        if (!up || up->lastRow != headingRow - 1 || up->firstCol == up->lastCol ||
            (up->firstCol <= firstCol && up->lastCol >= lastCol))
            continue;
        const QString group = text(up->firstRow, up->firstCol).trimmed();
        const Range *own = covering(ranges, headingRow, c);
        if (!group.isEmpty() && !(own && own->firstRow < headingRow))
            out[i] = group + QLatin1Char(' ') + out[i].trimmed();
    }
    return out;
}

} // namespace mergedheadings
