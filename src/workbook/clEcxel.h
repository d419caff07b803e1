#pragma once

#include "workbook/common/SheetInfo.h"

#include <QString>
#include <memory>
#include <string_view>

class WorkbookFile;
class WorkbookSheet;
class SheetCellSink;
struct SheetTextRun;

// Reads one worksheet (the first unless told otherwise) of an invoice workbook (.xlsx, .xls, .ods, or a
// .csv/.txt table; recognised by content).
// Rows and columns count from 1. Failures throw PlanexoError with source "[clExcel.Abrir]" or
// "[clExcel.LeerCelda]".
class clEcxel {
  public:
    clEcxel();
    ~clEcxel();

    // The workbook's path.
    void setArchivo(const QString &path) { m_archivo = path; }
    QString archivo() const { return m_archivo; }

    // The worksheet that Abrir opens, by its index from 0 among the workbook's worksheets in order
    // (chart and macro sheets left out); the first by default.
    void setHoja(int index) { m_hoja = index; }
    int hoja() const { return m_hoja; }
    // The workbook's worksheets in order, read without their cells; fails as Abrir does.
    WorkbookSheetList Hojas() const;
    // Opens the workbook and selects its worksheet (the first unless setHoja chose another); true
    // when open. A sheet index past the last fails.
    bool Abrir();
    // Opens the workbook handing its first worksheet's cells to sink as they are read, without
    // keeping them (LeerCelda then reads empty cells). False, with the workbook closed, when the
    // sheet cannot be read that way: then Abrir() reads it. Fails as Abrir does.
    bool Abrir(SheetCellSink &sink);
    // The cell's value as text in the user's locale; empty text when no sheet is open or the cell
    // is empty. Numbers, dates and booleans are written as WorkbookSheet's conversions say; a cell
    // holding an error value (#N/A, #DIV/0!, ...) fails with error 13 naming the cell and the error.
    QString LeerCelda(long p_Lin, long p_Col) const;
    // The same text as UTF-8, for reading many cells: the locale is looked up once for the run,
    // and the view lasts until the next call with it. Fails as LeerCelda does.
    std::string_view LeerCeldaUtf8(long p_Lin, long p_Col, SheetTextRun &run) const;
    // At most how many cells and bytes of UTF-8 text a copy of the open sheet takes, to size it
    // once instead of growing it.
    size_t cellsHint() const;
    size_t textBytesHint() const;
    // The last row of the open sheet's used range (0 when empty or streamed).
    long ultimaFila() const;
    // The open sheet's merged ranges (after either Abrir), sorted by their first cell; empty when
    // no sheet is open or the format has none.
    const MergedRangeList &mergedRanges() const;
    // Sets a cell's text while the sheet is open (held in memory; the file is never written).
    void EscribirCelda(long p_Lin, long p_Col, const QString &p_Valor);
    // Closes the workbook; never fails.
    void CerrarArchivo() noexcept;

  private:
    bool open(SheetCellSink *sink);

    QString m_archivo;
    int m_hoja = 0;
    std::unique_ptr<WorkbookSheet> m_sheet;
    // Kept after a streamed read fell back, for the read that keeps the cells.
    std::unique_ptr<WorkbookFile> m_file;
};
