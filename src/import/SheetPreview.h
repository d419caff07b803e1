#pragma once

#include "workbook/SheetInfo.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The first rows of a worksheet as text, every column up to the last one used in them: what the
// heading-row chooser shows and what the layout proposals look at. Only those rows are read.
struct SheetPreview {
    static constexpr int DefaultRows = 100;
    // Columns shown at most: far beyond any invoice, and it bounds a sheet that fills a whole row.
    static constexpr int MaxCols = 256;

    QVector<QStringList> rows; // spreadsheet row r is rows[r - 1]; each as wide as `cols`
    int cols = 0;

    QString text(int row, int col) const; // from 1, as the spreadsheet counts
    int rowCount() const { return int(rows.size()); }
};

namespace sheetpreview {

// Reads the first `maxRows` rows of worksheet `sheet` (index from 0) of the workbook at `path`.
// Fails with PlanexoError as clEcxel::Abrir does.
SheetPreview read(const QString &path, int sheet, int maxRows = SheetPreview::DefaultRows);
// The workbook's worksheets (clEcxel::Hojas).
WorkbookSheetList sheets(const QString &path);
// "A", "B", ..., "Z", "AA": a column's letters, from 1.
QString columnLetters(int col);

} // namespace sheetpreview
