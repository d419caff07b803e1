#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <vector>

// Where a cell's text lies in the grid's UTF-8 buffer; an empty cell has length 0.
struct SheetGridSpan {
    uint32_t offset;
    uint32_t length;
};

// Allocates zeroed memory and leaves new elements as allocated: a grid resized to many empty
// rows takes no memory until its cells are written. Growing within the capacity therefore needs
// the new cells cleared by hand (see SheetGridModel::resize).
template <typename T>
struct ZeroedAllocator {
    using value_type = T;
    ZeroedAllocator() = default;
    template <typename U>
    ZeroedAllocator(const ZeroedAllocator<U> &) {}
    T *allocate(size_t n)
    {
        void *p = std::calloc(n, sizeof(T));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T *>(p);
    }
    void deallocate(T *p, size_t) { std::free(p); }
    template <typename U>
    void construct(U *) noexcept
    {
    }
    template <typename U, typename... Args>
    void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
    bool operator==(const ZeroedAllocator &) const { return true; }
};
using SheetGridSpans = std::vector<SheetGridSpan, ZeroedAllocator<SheetGridSpan>>;

// The preview grid's cells: row 0 the headings, row 1 the mapping row, data from row 2.
// Every cell holds text exactly as the workbook reader returned it.
//
// A sheet of hundreds of thousands of rows must fit in little memory: the texts are kept as UTF-8
// in one buffer and each cell is an offset and length into it, instead of one string per cell.
class SheetGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Rows of cells built apart from the grid (the loader's rows) and moved into it by paste.
    class RowBuffer {
    public:
        explicit RowBuffer(int cols);
        int cols() const { return m_cols; }
        // Complete rows appended so far.
        int rows() const { return int(m_cells.size() / size_t(m_cols)); }
        // Appends the next cell, row by row.
        void append(QStringView text);
        // Drops the last row (complete or not); once after each row at most.
        void dropLastRow();
        QString text(int row, int col) const;

    private:
        friend class SheetGridModel;
        QByteArray m_text;
        SheetGridSpans m_cells;
        int m_cols;
        qsizetype m_rowStart = 0; // where the last row's texts begin
    };

    explicit SheetGridModel(QObject *parent = nullptr);
    ~SheetGridModel() override;

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
    // The same, taking over the buffer's texts instead of copying them.
    void paste(int row, RowBuffer &&cells);
    // Inserts an empty row before `row`.
    void insertEmptyRow(int row);
    // Number of leading rows drawn as headers and not selectable.
    int fixedRows() const { return m_fixedRows; }
    void setFixedRows(int rows);
    // Text colour of a whole row as 0xRRGGBB (VB's CellForeColor over the row's cells); none for the
    // default. The windows draw it; the model itself needs no graphics.
    std::optional<quint32> rowForeground(int row) const;
    void setRowForeground(int row, quint32 rgb);

    // Bytes held for the cells' texts (live and replaced ones); for the benchmark.
    qsizetype textBytes() const { return m_text.size(); }

private:
    void store(int row, int col, QStringView text);

    int m_rows = 2;
    int m_cols = 1;
    int m_fixedRows = 0;
    QByteArray m_text;                  // the cells' texts, UTF-8, one after another
    SheetGridSpans m_cells; // m_rows * m_cols, row by row
    QVector<std::optional<quint32>> m_rowColors; // one per row, moving with inserted rows
};
