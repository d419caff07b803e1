#pragma once

#include "import/MergedHeadings.h"
#include "workbook/common/SheetInfo.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <map>
#include <string_view>

// The first rows of a worksheet as text, every column up to the last one used in them: what the
// heading-row chooser shows and what the layout proposals look at. Only those rows are read.
struct SheetPreview {
    static constexpr int DefaultRows = 100;
    // Columns shown at most: far beyond any invoice, and it bounds a sheet that fills a whole row.
    static constexpr int MaxCols = 256;

    QVector<QStringList> rows; // spreadsheet row r is rows[r - 1]; each as wide as `cols`
    int cols = 0;
    mergedheadings::Ranges merges; // the sheet's merged cells, when the read learnt them
    mutable QVector<QStringList> filled; // rows with the cells merges cover filled in, once asked

    QString text(int row, int col) const; // from 1, as the spreadsheet counts
    // A cell as a heading reads it: covered by a merge, the merge's text.
    QString headingText(int row, int col) const;
    // A row's headings from a column on, contiguous, as a load by that row and column reads them.
    QStringList headings(int row, int firstCol) const;
    int rowCount() const { return int(rows.size()); }
};

class clEcxel;

// Gathers a preview from cells as a reader hands them over (row-major or not).
class SheetPreviewBuilder {
  public:
    explicit SheetPreviewBuilder(int maxRows = SheetPreview::DefaultRows) : m_maxRows(uint32_t(maxRows)) {}
    uint32_t maxRows() const { return m_maxRows; }
    // A cell with a value; those below the rows wanted or right of the columns shown are passed over.
    void cell(uint32_t row, uint32_t col, std::string_view text)
    {
        if (row <= m_maxRows && col <= uint32_t(SheetPreview::MaxCols) && !text.empty())
            m_cells[{row, col}] = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    // The same rows read from a sheet that clEcxel holds open.
    void readFrom(const clEcxel &excel);
    SheetPreview take() const;

  private:
    uint32_t m_maxRows;
    std::map<std::pair<uint32_t, uint32_t>, QString> m_cells;
};

namespace sheetpreview {

// Reads the first `maxRows` rows of worksheet `sheet` (index from 0) of the workbook at `path`;
// withMerges reads the sheet to its end so as to learn its merged cells too. Fails with
// PlanexoError as clEcxel::Abrir does.
SheetPreview read(const QString &path, int sheet, int maxRows = SheetPreview::DefaultRows,
                  bool withMerges = false);
// The merged ranges of the sheet open in excel that start at or above row `lastRow`.
mergedheadings::Ranges headingMerges(const clEcxel &excel, int lastRow);
// The workbook's worksheets (clEcxel::Hojas).
WorkbookSheetList sheets(const QString &path);
// "A", "B", ..., "Z", "AA": a column's letters, from 1.
QString columnLetters(int col);

} // namespace sheetpreview
