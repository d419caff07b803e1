#include "import/SheetPreview.h"

#include "data/PlanexoError.h"
#include "workbook/WorkbookSheet.h"
#include "workbook/clEcxel.h"

#include <map>

QString SheetPreview::text(int row, int col) const
{
    if (row < 1 || row > rows.size()) return QString();
    return rows[row - 1].value(col - 1);
}

QString SheetPreview::headingText(int row, int col) const
{
    if (merges.isEmpty()) return text(row, col);
    return mergedheadings::cellText([this](int r, int c) { return text(r, c); }, merges, row, col);
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
    explicit PreviewSink(int maxRows) : m_builder(maxRows) {}
    void reserve(size_t) override {}
    void cell(uint32_t row, uint32_t col, std::string_view text) override
    {
        if (row > m_builder.maxRows()) {
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
    bool m_stopped = false;
};

} // namespace

SheetPreview read(const QString &path, int sheet, int maxRows)
{
    clEcxel excel;
    excel.setArchivo(path);
    excel.setHoja(sheet);
    PreviewSink sink(maxRows);
    // The whole sheet came through, or the read stopped below the rows wanted: the cells are all
    // there. Otherwise the reader could not stream this sheet and it is read keeping its cells.
    if (excel.Abrir(sink) || sink.stopped()) return sink.take();

    excel.Abrir();
    SheetPreviewBuilder builder(maxRows);
    builder.readFrom(excel);
    excel.CerrarArchivo();
    return builder.take();
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
