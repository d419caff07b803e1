#include "import/LoadPlan.h"

#include "import/SheetGridModel.h"

#include <algorithm>

namespace {
constexpr int FirstDataRow = 2;
}

void SheetRows::reset(int headingRow, int dataRows)
{
    m_rows.resize(std::max(dataRows, 0));
    for (int i = 0; i < m_rows.size(); ++i)
        m_rows[i] = headingRow + 1 + i;
    m_undo.clear();
}

void SheetRows::reset(QVector<int> sheetRows)
{
    m_rows = std::move(sheetRows);
    m_undo.clear();
}

QString rowsLeftText(const RowsLeft &left)
{
    if (left.rows <= 0) return QString();
    return QStringLiteral("Debajo de la fila vacía %1 hay %2 %3 que no se %4")
        .arg(left.blankRow)
        .arg(left.rows)
        .arg(left.rows == 1 ? QStringLiteral("fila con datos") : QStringLiteral("filas con datos"),
             left.rows == 1 ? QStringLiteral("cargó") : QStringLiteral("cargaron"));
}

int SheetRows::sheetRow(int gridRow) const
{
    const int i = gridRow - FirstDataRow;
    return i >= 0 && i < m_rows.size() ? m_rows[i] : 0;
}

int SheetRows::gridRow(int sheetRow) const
{
    // Ascending: removals keep the order and undo puts rows back in place.
    const auto it = std::lower_bound(m_rows.cbegin(), m_rows.cend(), sheetRow);
    if (it == m_rows.cend() || *it != sheetRow) return -1;
    return int(it - m_rows.cbegin()) + FirstDataRow;
}

int SheetRows::remove(SheetGridModel &grid, QVector<int> gridRows)
{
    std::sort(gridRows.begin(), gridRows.end());
    gridRows.erase(std::unique(gridRows.begin(), gridRows.end()), gridRows.end());
    QVector<Removed> step;
    // From the bottom up, so that the rows still to be taken keep their numbers; contiguous runs
    // go in one operation.
    for (int k = int(gridRows.size()) - 1; k >= 0;) {
        const int last = gridRows[k];
        if (last < FirstDataRow || last >= grid.rows() || last - FirstDataRow >= m_rows.size()) {
            --k;
            continue;
        }
        int first = last;
        while (k > 0 && gridRows[k - 1] == first - 1 && first - 1 >= FirstDataRow) {
            --k;
            --first;
        }
        --k;
        for (int g = last; g >= first; --g) {
            QStringList texts;
            for (int c = 0; c < grid.cols(); ++c)
                texts << grid.text(g, c);
            step.push_back({m_rows[g - FirstDataRow], texts});
        }
        grid.removeGridRows(first, last - first + 1);
        m_rows.remove(first - FirstDataRow, last - first + 1);
    }
    if (!step.isEmpty()) m_undo.push_back(step);
    return int(step.size());
}

bool SheetRows::undo(SheetGridModel &grid)
{
    if (m_undo.isEmpty()) return false;
    const QVector<Removed> step = m_undo.takeLast();
    // Taken bottom-up, put back top-down: each row goes before the first row below it.
    for (auto it = step.crbegin(); it != step.crend(); ++it) {
        const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), it->sheetRow);
        const int i = int(at - m_rows.begin());
        grid.insertRowTexts(i + FirstDataRow, it->texts);
        m_rows.insert(i, it->sheetRow);
    }
    return true;
}

QVector<int> SheetRows::removedSheetRows() const
{
    QVector<int> rows;
    for (const QVector<Removed> &step : m_undo)
        for (const Removed &r : step)
            rows << r.sheetRow;
    std::sort(rows.begin(), rows.end());
    return rows;
}

QString SheetRows::rangesText() const
{
    QStringList parts;
    for (int i = 0; i < m_rows.size();) {
        int j = i;
        while (j + 1 < m_rows.size() && m_rows[j + 1] == m_rows[j] + 1)
            ++j;
        parts << (i == j ? QString::number(m_rows[i])
                         : QString::number(m_rows[i]) + QLatin1Char('-') + QString::number(m_rows[j]));
        i = j + 1;
    }
    return parts.join(QLatin1Char(','));
}

bool parseRowList(const QString &text, QVector<int> *rows)
{
    QVector<int> out;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool ok1 = false, ok2 = false;
        const int from = ends.value(0).trimmed().toInt(&ok1);
        const int to = ends.size() == 2 ? ends[1].trimmed().toInt(&ok2) : from;
        if (!ok1 || (ends.size() == 2 && !ok2) || ends.size() > 2 || from < 1 || to < from ||
            to - from > 1048576)
            return false;
        for (int r = from; r <= to; ++r)
            out << r;
    }
    if (out.isEmpty()) return false;
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    *rows = out;
    return true;
}
