#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

class SheetGridModel;

// What a load reads of a workbook: which worksheet, which row holds the headings, and which data
// rows are left out. The default reads an invoice whose table starts at A1 of its first sheet.
struct LoadPlan {
    int sheet = 0;              // worksheet index from 0, in workbook order (hidden ones counted)
    int headingRow = 1;         // spreadsheet row of the headings; the data start below it
    int firstColumn = 1;        // spreadsheet column of the first heading
    bool pastBlankRows = false; // the items go on past blank rows, to the last row with data
    QVector<int> removedRows;   // spreadsheet rows taken out of the grid, ascending

    bool isDefault() const
    {
        return sheet == 0 && headingRow == 1 && firstColumn == 1 && !pastBlankRows && removedRows.isEmpty();
    }
};

// What a load left below the items: the rows with data under the headings past the blank row that
// ended them (within the sheet's used range). None when the plan takes rows past blank rows.
struct RowsLeft {
    int blankRow = 0; // the blank row that ended the items; 0 when none did
    int rows = 0;     // rows with data below it
    int lastRow = 0;  // the last of them
};
// "Debajo de la fila vacía 23 hay 19 filas con datos que no se cargaron"; empty when none are left.
QString rowsLeftText(const RowsLeft &left);

// The spreadsheet row of each data row of the preview grid, and the rows taken out of it with
// their texts, so that the last removal can be put back. Logic only: the grid is passed in.
class SheetRows {
  public:
    // After a load: the grid's data rows are the sheet's rows from headingRow + 1 on, contiguous.
    void reset(int headingRow, int dataRows);
    // After a load past blank rows: the sheet row of each data row, ascending.
    void reset(QVector<int> sheetRows);
    // The spreadsheet row shown in a grid row (2 and on), or 0 for rows 0 and 1.
    int sheetRow(int gridRow) const;
    // The grid row showing a spreadsheet row, or -1 when that row is not among the data.
    int gridRow(int sheetRow) const;
    int dataRows() const { return int(m_rows.size()); }

    // Takes data rows out of the grid (grid rows 2 and on; others and repeats are ignored) as one
    // step that undo() puts back; the number of rows taken.
    int remove(SheetGridModel &grid, QVector<int> gridRows);
    // Puts back the rows of the last removal not yet undone; false when there is none.
    bool undo(SheetGridModel &grid);
    bool canUndo() const { return !m_undo.isEmpty(); }
    // How many rows the last removal not yet undone took; 0 for none.
    int lastRemoval() const { return m_undo.isEmpty() ? 0 : int(m_undo.last().size()); }
    // The spreadsheet rows out of the grid now, ascending.
    QVector<int> removedSheetRows() const;
    // The spreadsheet rows in the grid as ranges ("10-19,22"), for reports.
    QString rangesText() const;

  private:
    struct Removed {
        int sheetRow;
        QStringList texts;
    };
    QVector<int> m_rows; // sheet row of grid row 2 + i
    QVector<QVector<Removed>> m_undo;
};

// "12,40-41" as spreadsheet rows, ascending and without repeats; false on anything else.
bool parseRowList(const QString &text, QVector<int> *rows);
