#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

// Where a cell's text lies in the grid's UTF-8 buffer; an empty cell has length 0.
struct SheetGridSpan {
    uint32_t offset;
    uint32_t length;
};

// The cells' spans in one block. It grows with realloc, so a large grid never holds two copies
// while it grows, and new blocks come zeroed from calloc, so a grid resized to many empty rows
// takes no memory until its cells are written.
class SheetGridSpans {
  public:
    SheetGridSpans() = default;
    explicit SheetGridSpans(size_t size) { resize(size); }
    ~SheetGridSpans() { std::free(m_data); }
    SheetGridSpans(SheetGridSpans &&other) noexcept { swap(other); }
    SheetGridSpans &operator=(SheetGridSpans &&other) noexcept
    {
        SheetGridSpans(std::move(other)).swap(*this);
        return *this;
    }
    SheetGridSpans(const SheetGridSpans &) = delete;
    SheetGridSpans &operator=(const SheetGridSpans &) = delete;
    void swap(SheetGridSpans &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
    }

    size_t size() const { return m_size; }
    size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    SheetGridSpan &operator[](size_t i) { return m_data[i]; }
    const SheetGridSpan &operator[](size_t i) const { return m_data[i]; }
    SheetGridSpan *begin() { return m_data; }
    SheetGridSpan *end() { return m_data + m_size; }

    // n more spans at the end, for the caller to write; the room must be there.
    SheetGridSpan *extend(size_t n)
    {
        SheetGridSpan *at = m_data + m_size;
        m_size += n;
        return at;
    }
    void push_back(SheetGridSpan span)
    {
        if (m_size == m_capacity) reallocate(m_capacity < 64 ? 64 : m_capacity * 2);
        m_data[m_size++] = span;
    }
    // New cells are empty.
    void resize(size_t size);
    // Inserts count copies of span (or the count spans at from) before index at.
    void insert(size_t at, size_t count, SheetGridSpan span);
    void insert(size_t at, const SheetGridSpan *from, size_t count);
    // Removes count spans from index at.
    void erase(size_t at, size_t count);
    void reserve(size_t capacity)
    {
        if (capacity > m_capacity) reallocate(capacity);
    }
    // Gives back the room beyond the size.
    void squeeze() { reallocate(m_size); }

  private:
    void reallocate(size_t capacity);
    SheetGridSpan *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

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
        // The same for a text already in UTF-8.
        void append(std::string_view text)
        {
            // Within a row, a text that lies in the shared buffer is only its place.
            if (m_col != 0 && isShared(text) && m_cells.size() < m_cells.capacity()) {
                m_col = m_col + 1 == m_cols ? 0 : m_col + 1;
                m_cells.push_back({uint32_t(reinterpret_cast<uintptr_t>(text.data()) - m_sharedBase),
                                   uint32_t(text.size())});
                return;
            }
            appendCopy(text);
        }
        // A whole row's texts, at most cols() of them (the rest of the row stays to be appended).
        void appendRow(const std::string_view *texts, int count);
        // Room for this many cells and bytes of text, so that the buffers are not grown by copies.
        void reserve(size_t cells, qsizetype bytes);
        // Texts appended as views into text (a reader's whole file) are kept as places in it, not
        // copied; text must not change until the rows are pasted.
        void share(QByteArray text);
        // Drops the last row (complete or not); once after each row at most.
        void dropLastRow();
        QString text(int row, int col) const;

      private:
        friend class SheetGridModel;
        // Makes m_text at least need bytes long, some room beyond them too.
        void grow(qsizetype need);
        void appendCopy(std::string_view text);
        // A non-empty text that lies in the shared buffer.
        bool isShared(std::string_view text) const
        {
            const auto at = reinterpret_cast<uintptr_t>(text.data()) - m_sharedBase;
            return !text.empty() && at < m_sharedSize && m_sharedSize - at >= text.size();
        }
        // Moves the shared text and the own texts into m_text, the shared first.
        void settle();
        // While a buffer is shared, a span of m_text has this bit in its length; the others lie
        // in m_shared (which comes first once settled, so that most spans stay as they are).
        static constexpr uint32_t OwnSpan = 0x80000000u;
        QByteArray m_text;
        QByteArray m_shared;
        uintptr_t m_sharedBase = 0; // m_shared's bytes, for the test of append
        size_t m_sharedSize = 0;
        uint32_t m_ownFlag = 0; // OwnSpan while a buffer is shared
        qsizetype m_used = 0; // bytes of m_text in use: its size runs ahead of them
        SheetGridSpans m_cells;
        int m_cols;
        qsizetype m_rowStart = 0; // where the last row's texts begin
        int m_col = 0;            // column of the next cell
        // How much of a buffer's room has its pages mapped.
        struct Mapped {
            const char *base = nullptr;
            size_t mapped = 0;
            void ahead(char *data, size_t used, size_t capacity);
        };
        Mapped m_textMapped, m_cellsMapped;
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
    // Inserts a row holding these texts (one per column, missing ones empty) before `row`.
    void insertRowTexts(int row, const QStringList &texts);
    // Removes `count` rows from `row` on.
    void removeGridRows(int row, int count);
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
    QByteArray m_text;                           // the cells' texts, UTF-8, one after another
    SheetGridSpans m_cells;                      // m_rows * m_cols, row by row
    QVector<std::optional<quint32>> m_rowColors; // one per row, moving with inserted rows
};
