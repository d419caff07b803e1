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

namespace sheetpreview {

namespace {

// Keeps the cells of the first rows and stops the read at the first cell below them.
class PreviewSink final : public SheetCellSink {
  public:
    explicit PreviewSink(int maxRows) : m_maxRows(uint32_t(maxRows)) {}
    void reserve(size_t) override {}
    void cell(uint32_t row, uint32_t col, std::string_view text) override
    {
        if (row > m_maxRows) {
            m_stopped = true;
            throw SheetStreamFallback{};
        }
        if (col <= uint32_t(SheetPreview::MaxCols) && !text.empty())
            m_cells[{row, col}] = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    void end() override {}

    bool stopped() const { return m_stopped; }
    const std::map<std::pair<uint32_t, uint32_t>, QString> &cells() const { return m_cells; }

  private:
    uint32_t m_maxRows;
    bool m_stopped = false;
    std::map<std::pair<uint32_t, uint32_t>, QString> m_cells;
};

SheetPreview fromCells(const std::map<std::pair<uint32_t, uint32_t>, QString> &cells)
{
    SheetPreview preview;
    int lastRow = 0;
    for (const auto &[at, text] : cells) {
        lastRow = std::max(lastRow, int(at.first));
        preview.cols = std::max(preview.cols, int(at.second));
    }
    preview.rows.resize(lastRow);
    for (QStringList &row : preview.rows)
        row = QStringList(preview.cols, QString());
    for (const auto &[at, text] : cells)
        preview.rows[int(at.first) - 1][int(at.second) - 1] = text;
    return preview;
}

} // namespace

SheetPreview read(const QString &path, int sheet, int maxRows)
{
    clEcxel excel;
    excel.setArchivo(path);
    excel.setHoja(sheet);
    PreviewSink sink(maxRows);
    // The whole sheet came through, or the read stopped below the rows wanted: the cells are all
    // there. Otherwise the reader could not stream this sheet and it is read keeping its cells.
    if (excel.Abrir(sink) || sink.stopped()) return fromCells(sink.cells());

    excel.Abrir();
    std::map<std::pair<uint32_t, uint32_t>, QString> cells;
    for (int r = 1; r <= maxRows; ++r) {
        for (int c = 1; c <= SheetPreview::MaxCols; ++c) {
            QString text;
            try {
                text = excel.LeerCelda(r, c);
            } catch (const PlanexoError &) {
                // An error value (#N/A): shown as nothing here; the load itself reports it.
            }
            if (!text.isEmpty()) cells[{uint32_t(r), uint32_t(c)}] = text;
        }
    }
    excel.CerrarArchivo();
    return fromCells(cells);
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
