#include "SheetLoader.h"

#include "SheetGridModel.h"
#include "data/PlanexoError.h"
#include "workbook/WorkbookSheet.h"
#include "workbook/clEcxel.h"

#include <algorithm>
#include <utility>

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
    SheetGridModel::RowBuffer rows{int(headings)};
    source.reserve(rows);
    for (long r = 2;; ++r) {
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

struct ReaderSource {
    const CellReader &readCell;
    void reserve(SheetGridModel::RowBuffer &) {}
    QString heading(long c) { return readCell(1, c); }
    bool append(long r, long c, SheetGridModel::RowBuffer &rows)
    {
        const QString text = readCell(r, c);
        rows.append(text);
        return !text.isEmpty();
    }
};

// A workbook's cells as UTF-8, straight from the reader into the rows.
struct WorkbookSource {
    const clEcxel &excel;
    SheetTextRun run;
    void reserve(SheetGridModel::RowBuffer &rows)
    {
        rows.reserve(excel.cellsHint(), qsizetype(std::min<size_t>(excel.textBytesHint(), UINT32_MAX)));
    }
    QString heading(long c) { return excel.LeerCelda(1, c); }
    bool append(long r, long c, SheetGridModel::RowBuffer &rows)
    {
        const std::string_view text = excel.LeerCeldaUtf8(r, c, run);
        rows.append(text);
        return !text.empty();
    }
};

} // namespace

void fillGrid(const CellReader &readCell, SheetGridModel &grid, int &step)
{
    ReaderSource source{readCell};
    fill(source, grid, step);
}

void loadFile(const QString &path, SheetGridModel &grid, int &step)
{
    step = 90;
    // Dropped at the end of the load; on a failure it releases the workbook without CerrarArchivo.
    clEcxel excel;
    excel.setArchivo(path);
    step = 100;
    excel.Abrir();
    WorkbookSource source{excel, {}};
    fill(source, grid, step);
    step = 710;
    excel.CerrarArchivo();
}

QString failureMessage(const PlanexoError &error, int step)
{
    return QString::number(error.number()) + QStringLiteral(" - ") + error.description() +
           QStringLiteral("\r\n\r\nSeccion [Quintora.frmCFGExcel.lf_LevantarExcel] linea ") +
           QString::number(step);
}

} // namespace sheetloader
