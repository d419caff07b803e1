#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>
#include <optional>

// The preview grid's cells: row 0 the headings, row 1 the mapping row, data from row 2.
// Every cell holds text exactly as the workbook reader returned it.
class SheetGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SheetGridModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Rows and columns of the grid (VB's Rows and Cols).
    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    QString text(int row, int col) const;
    void setText(int row, int col, const QString &text);

    // Resizes the grid; new cells are empty, cells outside the new size are dropped.
    void resize(int rows, int cols);
    // Puts rows of cells at (row, 0) in one operation (the bulk paste).
    void paste(int row, const QVector<QStringList> &cells);
    // Inserts an empty row before `row`.
    void insertEmptyRow(int row);
    // Number of leading rows drawn as headers and not selectable.
    int fixedRows() const { return m_fixedRows; }
    void setFixedRows(int rows);
    // Text colour of a whole row as 0xRRGGBB (VB's CellForeColor over the row's cells); none for the
    // default. The windows draw it; the model itself needs no graphics.
    std::optional<quint32> rowForeground(int row) const;
    void setRowForeground(int row, quint32 rgb);

private:
    int m_rows = 2;
    int m_cols = 1;
    int m_fixedRows = 0;
    QVector<QStringList> m_cells; // m_rows lists of m_cols texts
    QVector<std::optional<quint32>> m_rowColors; // one per row, moving with inserted rows
};
