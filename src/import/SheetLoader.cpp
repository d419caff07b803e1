#include "SheetLoader.h"

#include "SheetGridModel.h"
#include "data/PlanexoError.h"
#include "import/SheetPreview.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/clEcxel.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sheetloader {

PlanexoError noDataRows()
{
    return {NoDataRowsError, QStringLiteral("No hay filas de datos bajo los encabezados"),
            QStringLiteral("Planexo")};
}

namespace {

// What the data rows leave: the sheet row of each (past blank rows only) and what is left below.
struct LoadTail {
    bool pastBlankRows = false;
    RowsLeft left;
    QVector<int> sheetRows;
};

// The loader's steps over a source of cells: heading(c) gives the text of heading cell c;
// append(r, c, rows) appends cell (r, c) to rows and says whether it is not empty.
template <class Source> void fill(Source &source, SheetGridModel &grid, int &step)
{
    // A fresh grid of one column and two rows: nothing of an earlier load survives.
    step = 110;
    grid.setFixedRows(0);
    grid.resize(0, 1);
    step = 130;
    grid.resize(2, 1);

    // Headings: contiguous from column A; the first empty cell ends them.
    step = 140;
    long headings = 1;
    for (long c = 1;; ++c) {
        step = 150;
        const QString text = source.heading(c);
        if (text.isEmpty()) break;
        step = 160;
        grid.resize(grid.rows(), int(c));
        step = 170;
        grid.setText(0, int(c - 1), text);
        headings = c;
    }
    step = 240;

    // Data: a row is taken when any cell under the headings is not empty (blanks count as text);
    // the first all-empty row ends the data.
    step = 280;
    // The rows go into the grid's own storage: built once, moved in by the paste.
    SheetGridModel::RowBuffer rows = source.rows(headings, step);
    step = 550;

    step = 570;
    grid.resize(rows.rows() + 1, grid.cols());
    // The paste starts at row 1; without a data row there is none.
    step = 590;
    if (grid.rows() < 2) throw noDataRows();
    step = 630;
    // Cells are handed over as they are: a tab or line break inside a cell stays in that cell.
    grid.paste(1, std::move(rows));

    step = 650;
    grid.insertEmptyRow(1);
    step = 660;
    grid.setRowForeground(1, 0x0000FF);
    step = 700;
    grid.setFixedRows(2);
}

// The data rows read cell by cell: a row is taken when any cell under the headings is not empty
// (blanks count as text); the first all-empty row ends the data, or, past blank rows, is skipped
// up to the sheet's last row. source.append(r, c, rows) appends cell (r, c) (c from 1 among the
// headings) to rows and says whether it is not empty; source.lastRow() is the used range's end.
template <class Source>
SheetGridModel::RowBuffer readRows(Source &source, long headings, int &step, LoadTail *tail)
{
    SheetGridModel::RowBuffer rows{int(headings)};
    source.reserve(rows);
    const long lastRow = source.lastRow();
    long r = source.headingRow + 1;
    for (;; ++r) {
        bool any = false;
        for (long c = 1; c <= headings; ++c) {
            step = 300;
            const bool filled = source.append(r, c, rows);
            step = 310;
            any = any || filled;
        }
        step = 500;
        if (any) {
            if (tail && tail->pastBlankRows) tail->sheetRows << int(r);
            continue;
        }
        rows.dropLastRow();
        if (!tail || r >= lastRow) break;
        if (!tail->pastBlankRows) {
            // What is left below the blank row is counted, not taken.
            tail->left.blankRow = int(r);
            for (long below = r + 1; below <= lastRow; ++below) {
                bool data = false;
                for (long c = 1; c <= headings && !data; ++c)
                    data = !source.text(below, c).isEmpty();
                if (data) {
                    ++tail->left.rows;
                    tail->left.lastRow = int(below);
                }
            }
            if (tail->left.rows == 0) tail->left.blankRow = 0;
            break;
        }
    }
    return rows;
}

struct ReaderSource {
    const CellReader &readCell;
    long headingRow = 1;
    void reserve(SheetGridModel::RowBuffer &) {}
    long lastRow() const { return 0; }
    QString heading(long c) { return readCell(headingRow, c); }
    QString text(long r, long c) { return readCell(r, c); }
    bool append(long r, long c, SheetGridModel::RowBuffer &rows)
    {
        const QString text = readCell(r, c);
        rows.append(text);
        return !text.isEmpty();
    }
    SheetGridModel::RowBuffer rows(long headings, int &step)
    {
        return readRows(*this, headings, step, nullptr);
    }
};

// A workbook's cells as UTF-8, straight from the reader into the rows.
struct WorkbookSource {
    const clEcxel &excel;
    SheetTextRun run;
    long headingRow = 1;
    long firstCol = 1;
    LoadTail *tail = nullptr;
    const QStringList *givenHeadings = nullptr;
    void reserve(SheetGridModel::RowBuffer &rows)
    {
        rows.reserve(excel.cellsHint(), qsizetype(std::min<size_t>(excel.textBytesHint(), UINT32_MAX)));
    }
    long lastRow() const { return excel.ultimaFila(); }
    QString heading(long c)
    {
        if (givenHeadings) return givenHeadings->value(int(c - 1));
        return excel.LeerCelda(headingRow, firstCol + c - 1);
    }
    QString text(long r, long c)
    {
        try {
            return excel.LeerCelda(r, firstCol + c - 1);
        } catch (const PlanexoError &) {
            return QStringLiteral("#"); // an error value is data all the same
        }
    }
    bool append(long r, long c, SheetGridModel::RowBuffer &rows)
    {
        const std::string_view text = excel.LeerCeldaUtf8(r, firstCol + c - 1, run);
        rows.append(text);
        return !text.empty();
    }
    SheetGridModel::RowBuffer rows(long headings, int &step) { return readRows(*this, headings, step, tail); }
};

// The headings and data rows taken from the cells as the reader hands them over, the way the steps
// read them cell by cell: no cell table is built and copied. A sheet whose reading by cells could
// fail part-way (past the last row or column of the grid, more text than the rows hold) is left to
// be read that way instead.
class StreamedRows final : public SheetCellSink {
  public:
    // The rows above the headings (a letterhead) and the columns left of the first heading are
    // passed over. With `headings`, those texts are the headings and the heading row is not read
    // for them (headings under merged cells).
    explicit StreamedRows(uint32_t headingRow = 1, SheetPreviewBuilder *preview = nullptr,
                          uint32_t firstCol = 1, LoadTail *tail = nullptr,
                          const QStringList *headings = nullptr)
        : m_headingRow(headingRow), m_firstCol(firstCol), m_preview(preview), m_tail(tail), m_row(headingRow),
          m_col(firstCol)
    {
        if (headings) {
            for (const QString &h : *headings)
                m_headings.emplace_back(h.toStdString());
            m_headingsOpen = false;
            m_headingsGiven = true;
        }
        m_pastBlank = tail && tail->pastBlankRows;
    }

    void reserve(size_t cells) override { m_reserve = cells; }
    void shareText(const QByteArray &text) override { m_shared = text; }

    void cell(uint32_t row, uint32_t col, std::string_view text) override
    {
        // The usual cell: the next one of the open data row, past the preview's rows.
        if (row == m_row && col == m_col && col <= m_lastCol && m_rows && !m_ended &&
            (!m_preview || row > m_preview->maxRows())) {
            try {
                m_rows->append(text);
            } catch (const PlanexoError &) {
                throw SheetStreamFallback{};
            }
            m_any = m_any || !text.empty();
            ++m_col;
            return;
        }
        anyCell(row, col, text);
    }

    void row(uint32_t row, const std::string_view *texts, uint32_t count) override
    {
        // A whole row below the blank row that ended the data: only looked at for what is left.
        if (m_ended && m_rows && (!m_preview || row > m_preview->maxRows())) {
            const uint32_t end = std::min(count, m_lastCol);
            for (uint32_t c = m_firstCol; c <= end; ++c)
                if (!texts[c - 1].empty()) {
                    left(row, c, texts[c - 1]);
                    break;
                }
            return;
        }
        // The usual row: the one after the open data row, past the preview's rows.
        if (!m_rows || m_ended || row != m_row + 1 || (m_preview && row <= m_preview->maxRows())) {
            SheetCellSink::row(row, texts, count);
            return;
        }
        try {
            endRow();
            if (m_ended) {
                SheetCellSink::row(row, texts, count);
                return;
            }
            m_row = row;
            const uint32_t skip = m_firstCol - 1;
            const uint32_t n = count > skip ? std::min(count - skip, m_cols) : 0;
            m_rows->appendRow(texts + skip, int(n));
            m_any = std::any_of(texts + skip, texts + skip + n,
                                [](std::string_view text) { return !text.empty(); });
            m_col = m_firstCol + n;
        } catch (const PlanexoError &) {
            throw SheetStreamFallback{};
        }
    }

    void end() override
    {
        if (!m_rows) start();
        if (m_ended) return;
        try {
            endRow();
        } catch (const PlanexoError &) {
            throw SheetStreamFallback{};
        }
        m_ended = true;
    }

    // Rows kept above and with the heading row: a heading merged down over up to four rows.
    static constexpr uint32_t HeadingRowsKept = 4;
    QString keptText(int row, int col) const
    {
        const auto it = m_headingCells.find({uint32_t(row), uint32_t(col)});
        return it == m_headingCells.end() ? QString() : it->second;
    }
    QStringList headings() const
    {
        QStringList out;
        for (long c = 1; c <= long(m_headings.size()); ++c)
            out << heading(c);
        return out;
    }

    QString heading(long c) const
    {
        if (c < 1 || size_t(c) > m_headings.size()) return {};
        const std::string &text = m_headings[size_t(c - 1)];
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    SheetGridModel::RowBuffer take() { return std::move(*m_rows); }

  private:
    Q_DECL_COLD_FUNCTION void anyCell(uint32_t row, uint32_t col, std::string_view text)
    {
        // The first rows are kept as they pass, for the heading-row chooser.
        if (m_preview && row <= m_preview->maxRows()) m_preview->cell(row, col, text);
        // The heading row and the rows just above it are kept for headings under merged cells.
        if (row <= m_headingRow && row + HeadingRowsKept > m_headingRow &&
            col <= uint32_t(SheetPreview::MaxCols) && !text.empty())
            m_headingCells[{row, col}] = QString::fromUtf8(text.data(), qsizetype(text.size()));
        if (row < m_headingRow) return;
        if (m_ended) {
            left(row, col, text);
            return;
        }
        try {
            if (row == m_headingRow) {
                // Contiguous from the first column; the first empty cell ends them.
                if (m_headingsOpen && col == m_firstCol + m_headings.size() && !text.empty())
                    m_headings.emplace_back(text);
                else if (col >= m_firstCol)
                    m_headingsOpen = false;
                return;
            }
            if (!m_rows) start();
            if (row != m_row) {
                endRow();
                // A row without cells is an empty row: it ends the data, unless blank rows are
                // passed over.
                if (!m_ended && row != m_row + 1 && !m_pastBlank) {
                    m_ended = true;
                    m_blankRow = m_row + 1;
                }
                if (m_ended) {
                    left(row, col, text);
                    return;
                }
                m_row = row;
                m_col = m_firstCol;
                m_any = false;
            }
            if (col < m_firstCol || col > m_lastCol) return;
            for (; m_col < col; ++m_col)
                m_rows->append(std::string_view());
            m_rows->append(text);
            m_any = m_any || !text.empty();
            ++m_col;
        } catch (const PlanexoError &) {
            throw SheetStreamFallback{};
        }
    }

    // A cell below the blank row that ended the data: counted when it is under the headings.
    void left(uint32_t row, uint32_t col, std::string_view text)
    {
        if (!m_tail || m_blankRow == 0 || row <= m_blankRow || col < m_firstCol || col > m_lastCol ||
            text.empty())
            return;
        if (int(row) != m_tail->left.lastRow) {
            m_tail->left.blankRow = int(m_blankRow);
            ++m_tail->left.rows;
            m_tail->left.lastRow = int(row);
        }
    }

    void start()
    {
        m_headingsOpen = false;
        // The heading loop reads one column past the last heading.
        if (m_firstCol - 1 + m_headings.size() >= WorkbookSheet::MaxCols) throw SheetStreamFallback{};
        m_cols = std::max<uint32_t>(uint32_t(m_headings.size()), 1);
        m_lastCol = m_firstCol + m_cols - 1;
        m_rows.emplace(int(m_cols));
        // The rows hold the only other reference, so that the pasted grid adopts the text uncopied.
        const bool shared = !m_shared.isNull();
        if (shared) m_rows->share(std::exchange(m_shared, QByteArray()));
        // About the bytes of a usual invoice cell for each, for the texts (none ahead when the
        // reader's text is shared: few are copied then).
        m_rows->reserve(m_reserve, qsizetype(std::min<size_t>(shared ? 0 : m_reserve * 16, UINT32_MAX)));
    }

    // Completes the open row; an empty one ends the data (or is dropped, past blank rows).
    void endRow()
    {
        if (m_row <= m_headingRow) return;
        for (; m_col <= m_lastCol; ++m_col)
            m_rows->append(std::string_view());
        if (!m_any) {
            m_rows->dropLastRow();
            if (!m_pastBlank) {
                m_ended = true;
                m_blankRow = m_row;
            }
        } else if (m_row >= WorkbookSheet::MaxRows) {
            throw SheetStreamFallback{}; // the data would be read on past the grid's last row
        } else if (m_pastBlank) {
            m_tail->sheetRows << int(m_row);
        }
        // A row counted once: the next one starts at the first column.
        m_any = false;
    }

    uint32_t m_headingRow;
    uint32_t m_firstCol;
    SheetPreviewBuilder *m_preview;
    LoadTail *m_tail;
    bool m_pastBlank = false;
    std::vector<std::string> m_headings;
    std::map<std::pair<uint32_t, uint32_t>, QString> m_headingCells;
    bool m_headingsOpen = true;
    bool m_headingsGiven = false;
    std::optional<SheetGridModel::RowBuffer> m_rows;
    size_t m_reserve = 0;
    QByteArray m_shared;
    uint32_t m_cols = 1;
    uint32_t m_lastCol = 1;
    uint32_t m_row;          // the data row being taken; the heading row before the first
    uint32_t m_col;          // its next column
    uint32_t m_blankRow = 0; // the blank row that ended the data
    bool m_any = false;
    bool m_ended = false;
};

struct StreamSource {
    StreamedRows &streamed;
    long headingRow = 1;
    QString heading(long c) { return streamed.heading(c); }
    SheetGridModel::RowBuffer rows(long, int &) { return streamed.take(); }
};

} // namespace

void fillGrid(const CellReader &readCell, SheetGridModel &grid, int &step)
{
    ReaderSource source{readCell};
    fill(source, grid, step);
}

static void load(const QString &path, const LoadPlan &plan, SheetGridModel &grid, int &step,
                 SheetPreview *preview, LoadTail *tail);

void loadFile(const QString &path, SheetGridModel &grid, int &step)
{
    loadFile(path, LoadPlan{}, grid, step);
}

void loadFile(const QString &path, const LoadPlan &plan, SheetGridModel &grid, int &step)
{
    load(path, plan, grid, step, nullptr, nullptr);
}

// The open sheet's merged cells that can bear on headings: those starting in the rows a preview
// shows or above the heading row.
static mergedheadings::Ranges mergedRanges(const clEcxel &excel, long headingRow)
{
    return sheetpreview::headingMerges(excel, int(std::max<long>(headingRow, SheetPreview::DefaultRows)));
}

static void load(const QString &path, const LoadPlan &plan, SheetGridModel &grid, int &step,
                 SheetPreview *preview, LoadTail *tail)
{
    step = 90;
    // Dropped at the end of the load; on a failure it releases the workbook without CerrarArchivo.
    clEcxel excel;
    excel.setArchivo(path);
    excel.setHoja(plan.sheet);
    const long headingRow = std::clamp<long>(plan.headingRow, 1, long(WorkbookSheet::MaxRows) - 1);
    const long firstCol = std::clamp<long>(plan.firstColumn, 1, long(WorkbookSheet::MaxCols) - 1);
    const bool pastBlankRows = tail && tail->pastBlankRows;
    // The default plan is the Part's load, cell by cell as it reads: merges count for headings
    // chosen elsewhere (the lower of two heading rows, a table right of column A).
    const bool byMerges = headingRow > 1 || firstCol > 1;
    step = 100;
    // The rows are taken as the sheet is read; a sheet that cannot be is read again, keeping its
    // cells, and copied from them.
    std::optional<SheetPreviewBuilder> firstRows;
    if (preview) firstRows.emplace();
    auto streamed = std::make_unique<StreamedRows>(uint32_t(headingRow), firstRows ? &*firstRows : nullptr,
                                                   uint32_t(firstCol), tail);
    // The first rows are handed over before the grid is filled: a sheet without data rows still
    // shows them to the chooser.
    bool read = excel.Abrir(*streamed);
    if (read) {
        const mergedheadings::Ranges merges = mergedRanges(excel, headingRow);
        if (preview) {
            *preview = firstRows->take();
            preview->merges = merges;
        }
        if (byMerges && mergedheadings::touchesHeadings(merges, int(headingRow))) {
            // Merged headings may be more than the row's cells say: the data are read again under them.
            const QStringList headings =
                mergedheadings::headings([&](int r, int c) { return streamed->keptText(r, c); }, merges,
                                         int(headingRow), int(firstCol), SheetPreview::MaxCols);
            if (headings != streamed->headings()) {
                if (tail) *tail = LoadTail{pastBlankRows, {}, {}};
                streamed = std::make_unique<StreamedRows>(uint32_t(headingRow), nullptr, uint32_t(firstCol),
                                                          tail, &headings);
                read = excel.Abrir(*streamed);
            }
        }
    }
    if (read) {
        StreamSource source{*streamed, headingRow};
        fill(source, grid, step);
    } else {
        streamed.reset();
        if (tail) *tail = LoadTail{pastBlankRows, {}, {}};
        excel.Abrir();
        const mergedheadings::Ranges merges = mergedRanges(excel, headingRow);
        if (preview && !preview->rows.isEmpty() && preview->merges.isEmpty()) preview->merges = merges;
        if (preview && preview->rows.isEmpty()) {
            firstRows.emplace();
            firstRows->readFrom(excel);
            *preview = firstRows->take();
            preview->merges = merges;
        }
        WorkbookSource source{excel, {}, headingRow, firstCol, tail};
        QStringList headings;
        if (byMerges && mergedheadings::touchesHeadings(merges, int(headingRow))) {
            headings = mergedheadings::headings(
                [&](int r, int c) {
                    try {
                        return excel.LeerCelda(r, c);
                    } catch (const PlanexoError &) {
                        return QString();
                    }
                },
                merges, int(headingRow), int(firstCol), SheetPreview::MaxCols);
            source.givenHeadings = &headings;
        }
        fill(source, grid, step);
    }
    step = 710;
    excel.CerrarArchivo();
}

void loadFile(const QString &path, const LoadPlan &plan, SheetGridModel &grid, SheetRows &rows, int &step,
              SheetPreview *preview, RowsLeft *left)
{
    LoadTail tail;
    tail.pastBlankRows = plan.pastBlankRows;
    try {
        load(path, plan, grid, step, preview, &tail);
    } catch (const PlanexoError &e) {
        // Headings over a blank row with the items below it: F5 still reaches them.
        if (left && e.number() == NoDataRowsError) *left = tail.left;
        throw;
    }
    if (left) *left = tail.left;
    if (plan.pastBlankRows && tail.sheetRows.size() == grid.rows() - 2)
        rows.reset(std::move(tail.sheetRows));
    else
        rows.reset(plan.headingRow, grid.rows() - 2);
    if (plan.removedRows.isEmpty()) return;
    QVector<int> gridRows;
    for (int sheetRow : plan.removedRows)
        if (const int g = rows.gridRow(sheetRow); g >= 0) gridRows << g;
    rows.remove(grid, gridRows);
}

QString failureMessage(const PlanexoError &error, int step)
{
    return QString::number(error.number()) + QStringLiteral(" - ") + error.description() +
           QStringLiteral("\r\n\r\nSeccion [Quintora.frmCFGExcel.lf_LevantarExcel] linea ") +
           QString::number(step);
}

} // namespace sheetloader
