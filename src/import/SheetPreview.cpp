#include "import/SheetPreview.h"

#include "data/PlanexoError.h"
#include "workbook/clEcxel.h"
#include "workbook/common/WorkbookSheet.h"

#include <map>

QString SheetPreview::text(int row, int col) const
{
    if (row < 1 || row > rows.size()) return QString();
    return rows[row - 1].value(col - 1);
}

QString SheetPreview::headingText(int row, int col) const
{
    QString own = text(row, col);
    if (!own.isEmpty() || merges.isEmpty() || row < 1 || row > rows.size() || col < 1 || col > cols)
        return own;
    // The covered cells of the rows shown, filled once: every cell is asked for when a heading row
    // is looked for, and a sheet may have many merges.
    if (filled.size() != rows.size()) {
        filled = rows;
        for (const mergedheadings::Range &m : merges) {
            const QString top = text(m.firstRow, m.firstCol);
            if (top.isEmpty()) continue;
            for (int r = std::max(m.firstRow, 1); r <= std::min(m.lastRow, int(rows.size())); ++r)
                for (int c = std::max(m.firstCol, 1); c <= std::min(m.lastCol, cols); ++c)
                    if (filled[r - 1][c - 1].isEmpty()) filled[r - 1][c - 1] = top;
        }
    }
    return filled[row - 1][col - 1];
}

QStringList SheetPreview::headings(int row, int firstCol) const
{
    return mergedheadings::headings([this](int r, int c) { return text(r, c); }, merges, row,
                                    std::max(firstCol, 1), std::max(cols - firstCol + 1, 0));
}

void SheetPreviewBuilder::readFrom(const clEcxel &excel)
{
    for (uint32_t r = 1; r <= m_maxRows; ++r) {
        for (uint32_t c = 1; c <= uint32_t(SheetPreview::MaxCols); ++c) {
            QString text;
            try {
                text = excel.LeerCelda(long(r), long(c));
            } catch (const PlanexoError &) {
                // An error value (#N/A): shown as nothing here; the load itself reports it.
            }
            if (!text.isEmpty()) m_cells[{r, c}] = text;
        }
    }
}

SheetPreview SheetPreviewBuilder::take() const
{
    SheetPreview preview;
    int lastRow = 0;
    for (const auto &[at, text] : m_cells) {
        lastRow = std::max(lastRow, int(at.first));
        preview.cols = std::max(preview.cols, int(at.second));
    }
    preview.rows.resize(lastRow);
    for (QStringList &row : preview.rows)
        row = QStringList(preview.cols, QString());
    for (const auto &[at, text] : m_cells)
        preview.rows[int(at.first) - 1][int(at.second) - 1] = text;
    return preview;
}

namespace sheetpreview {

namespace {

// Keeps the cells of the first rows and stops the read at the first cell below them.
class PreviewSink final : public SheetCellSink {
  public:
    PreviewSink(int maxRows, bool toTheEnd) : m_builder(maxRows), m_toTheEnd(toTheEnd) {}
    void reserve(size_t) override {}
    void cell(uint32_t row, uint32_t col, std::string_view text) override
    {
        if (row > m_builder.maxRows()) {
            if (m_toTheEnd) return;
            m_stopped = true;
            throw SheetStreamFallback{};
        }
        m_builder.cell(row, col, text);
    }
    void end() override {}

    bool stopped() const { return m_stopped; }
    SheetPreview take() const { return m_builder.take(); }

  private:
    SheetPreviewBuilder m_builder;
    bool m_toTheEnd;
    bool m_stopped = false;
};

} // namespace

SheetPreview read(const QString &path, int sheet, int maxRows, bool withMerges)
{
    clEcxel excel;
    excel.setArchivo(path);
    excel.setHoja(sheet);
    PreviewSink sink(maxRows, withMerges);
    // The whole sheet came through, or the read stopped below the rows wanted: the cells are all
    // there. Otherwise the reader could not stream this sheet and it is read keeping its cells.
    if (excel.Abrir(sink) || sink.stopped()) {
        SheetPreview preview = sink.take();
        if (!sink.stopped()) preview.merges = headingMerges(excel, maxRows);
        return preview;
    }

    excel.Abrir();
    SheetPreviewBuilder builder(maxRows);
    builder.readFrom(excel);
    SheetPreview preview = builder.take();
    preview.merges = headingMerges(excel, maxRows);
    excel.CerrarArchivo();
    return preview;
}

mergedheadings::Ranges headingMerges(const clEcxel &excel, int lastRow)
{
    mergedheadings::Ranges ranges;
    for (const MergedRange &m : excel.mergedRanges()) {
        if (m.firstRow > uint32_t(lastRow)) continue;
        // Beyond the columns a heading row can hold they bear on nothing.
        if (m.firstCol > uint32_t(SheetPreview::MaxCols)) continue;
        ranges.push_back({int(m.firstRow), int(m.firstCol), int(std::min<uint32_t>(m.lastRow, INT32_MAX)),
                          int(std::min<uint32_t>(m.lastCol, INT32_MAX))});
    }
    return ranges;
}

WorkbookSheetList sheets(const QString &path)
{
    clEcxel excel;
    excel.setArchivo(path);
    return excel.Hojas();
}

QString columnLetters(int col)
{
    QString letters;
    for (int n = col; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

} // namespace sheetpreview
