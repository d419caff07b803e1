#include "SheetLoader.h"

#include "SheetGridModel.h"
#include "data/PlanexoError.h"
#include "import/SheetPreview.h"
#include "workbook/common/WorkbookSheet.h"
#include "workbook/clEcxel.h"

#include <algorithm>
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
// (blanks count as text); the first all-empty row ends the data. source.append(r, c, rows) appends
// cell (r, c) to rows and says whether it is not empty.
template <class Source> SheetGridModel::RowBuffer readRows(Source &source, long headings, int &step)
{
    SheetGridModel::RowBuffer rows{int(headings)};
    source.reserve(rows);
    for (long r = source.headingRow + 1;; ++r) {
        bool any = false;
        for (long c = 1; c <= headings; ++c) {
            step = 300;
            const bool filled = source.append(r, c, rows);
            step = 310;
            any = any || filled;
        }
        step = 500;
        if (!any) {
            rows.dropLastRow();
            break;
        }
    }
    return rows;
}

struct ReaderSource {
    const CellReader &readCell;
    long headingRow = 1;
    void reserve(SheetGridModel::RowBuffer &) {}
    QString heading(long c) { return readCell(headingRow, c); }
    bool append(long r, long c, SheetGridModel::RowBuffer &rows)
    {
        const QString text = readCell(r, c);
        rows.append(text);
        return !text.isEmpty();
    }
    SheetGridModel::RowBuffer rows(long headings, int &step) { return readRows(*this, headings, step); }
};

// A workbook's cells as UTF-8, straight from the reader into the rows.
struct WorkbookSource {
    const clEcxel &excel;
    SheetTextRun run;
    long headingRow = 1;
    void reserve(SheetGridModel::RowBuffer &rows)
    {
        rows.reserve(excel.cellsHint(), qsizetype(std::min<size_t>(excel.textBytesHint(), UINT32_MAX)));
    }
    QString heading(long c) { return excel.LeerCelda(headingRow, c); }
    bool append(long r, long c, SheetGridModel::RowBuffer &rows)
    {
        const std::string_view text = excel.LeerCeldaUtf8(r, c, run);
        rows.append(text);
        return !text.empty();
    }
    SheetGridModel::RowBuffer rows(long headings, int &step) { return readRows(*this, headings, step); }
};

// The headings and data rows taken from the cells as the reader hands them over, the way the steps
// read them cell by cell: no cell table is built and copied. A sheet whose reading by cells could
// fail part-way (past the last row or column of the grid, more text than the rows hold) is left to
// be read that way instead.
class StreamedRows final : public SheetCellSink {
  public:
    // The rows above the headings (a letterhead) are passed over.
    explicit StreamedRows(uint32_t headingRow = 1, SheetPreviewBuilder *preview = nullptr)
        : m_headingRow(headingRow), m_preview(preview), m_row(headingRow)
    {
    }

    void reserve(size_t cells) override { m_reserve = cells; }
    void shareText(const QByteArray &text) override { m_shared = text; }

    void cell(uint32_t row, uint32_t col, std::string_view text) override
    {
        // The usual cell: the next one of the open data row, past the preview's rows.
        if (row == m_row && col == m_col && col <= m_cols && m_rows && !m_ended &&
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
        // The usual row: the one after the open data row, past the preview's rows.
        if (!m_rows || m_ended || row != m_row + 1 || (m_preview && row <= m_preview->maxRows())) {
            SheetCellSink::row(row, texts, count);
            return;
        }
        try {
            endRow();
            if (m_ended) return;
            m_row = row;
            const uint32_t n = std::min(count, m_cols);
            m_rows->appendRow(texts, int(n));
            m_any = std::any_of(texts, texts + n, [](std::string_view text) { return !text.empty(); });
            m_col = n + 1;
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
        if (m_ended || row < m_headingRow) return;
        try {
            if (row == m_headingRow) {
                // Contiguous from column A; the first empty cell ends them.
                if (m_headingsOpen && col == m_headings.size() + 1 && !text.empty())
                    m_headings.emplace_back(text);
                else
                    m_headingsOpen = false;
                return;
            }
            if (!m_rows) start();
            if (row != m_row) {
                endRow();
                // A row without cells is an empty row: it ends the data.
                if (m_ended || row != m_row + 1) {
                    m_ended = true;
                    return;
                }
                m_row = row;
                m_col = 1;
                m_any = false;
            }
            if (col > m_cols) return;
            for (; m_col < col; ++m_col)
                m_rows->append(std::string_view());
            m_rows->append(text);
            m_any = m_any || !text.empty();
            ++m_col;
        } catch (const PlanexoError &) {
            throw SheetStreamFallback{};
        }
    }

    void start()
    {
        m_headingsOpen = false;
        // The heading loop reads one column past the last heading.
        if (m_headings.size() >= WorkbookSheet::MaxCols) throw SheetStreamFallback{};
        m_cols = std::max<uint32_t>(uint32_t(m_headings.size()), 1);
        m_rows.emplace(int(m_cols));
        // The rows hold the only other reference, so that the pasted grid adopts the text uncopied.
        const bool shared = !m_shared.isNull();
        if (shared) m_rows->share(std::exchange(m_shared, QByteArray()));
        // About the bytes of a usual invoice cell for each, for the texts (none ahead when the
        // reader's text is shared: few are copied then).
        m_rows->reserve(m_reserve, qsizetype(std::min<size_t>(shared ? 0 : m_reserve * 16, UINT32_MAX)));
    }

    // Completes the open row; an empty one ends the data.
    void endRow()
    {
        if (m_row <= m_headingRow) return;
        for (; m_col <= m_cols; ++m_col)
            m_rows->append(std::string_view());
        if (!m_any) {
            m_rows->dropLastRow();
            m_ended = true;
        } else if (m_row >= WorkbookSheet::MaxRows) {
            throw SheetStreamFallback{}; // the data would be read on past the grid's last row
        }
    }

    uint32_t m_headingRow;
    SheetPreviewBuilder *m_preview;
    std::vector<std::string> m_headings;
    bool m_headingsOpen = true;
    std::optional<SheetGridModel::RowBuffer> m_rows;
    size_t m_reserve = 0;
    QByteArray m_shared;
    uint32_t m_cols = 1;
    uint32_t m_row; // the data row being taken; the heading row before the first
    uint32_t m_col = 1; // its next column
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

static void load(const QString &path, const LoadPlan &plan, SheetGridModel &grid, int &step, SheetPreview *preview);

void loadFile(const QString &path, SheetGridModel &grid, int &step)
{
    loadFile(path, LoadPlan{}, grid, step);
}

void loadFile(const QString &path, const LoadPlan &plan, SheetGridModel &grid, int &step)
{
    load(path, plan, grid, step, nullptr);
}

static void load(const QString &path, const LoadPlan &plan, SheetGridModel &grid, int &step, SheetPreview *preview)
{
    step = 90;
    // Dropped at the end of the load; on a failure it releases the workbook without CerrarArchivo.
    clEcxel excel;
    excel.setArchivo(path);
    excel.setHoja(plan.sheet);
    const long headingRow = std::clamp<long>(plan.headingRow, 1, long(WorkbookSheet::MaxRows) - 1);
    step = 100;
    // The rows are taken as the sheet is read; a sheet that cannot be is read again, keeping its
    // cells, and copied from them.
    std::optional<SheetPreviewBuilder> firstRows;
    if (preview) firstRows.emplace();
    auto streamed = std::make_unique<StreamedRows>(uint32_t(headingRow), firstRows ? &*firstRows : nullptr);
    // The first rows are handed over before the grid is filled: a sheet without data rows still
    // shows them to the chooser.
    if (excel.Abrir(*streamed)) {
        if (preview) *preview = firstRows->take();
        StreamSource source{*streamed, headingRow};
        fill(source, grid, step);
    } else {
        streamed.reset();
        excel.Abrir();
        if (preview) {
            firstRows.emplace();
            firstRows->readFrom(excel);
            *preview = firstRows->take();
        }
        WorkbookSource source{excel, {}, headingRow};
        fill(source, grid, step);
    }
    step = 710;
    excel.CerrarArchivo();
}

void loadFile(const QString &path, const LoadPlan &plan, SheetGridModel &grid, SheetRows &rows, int &step,
              SheetPreview *preview)
{
    load(path, plan, grid, step, preview);
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
