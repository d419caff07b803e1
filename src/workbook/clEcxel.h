#pragma once

#include <QString>
#include <memory>
#include <string_view>

class WorkbookSheet;
class SheetCellSink;
struct SheetTextRun;

// Reads the first worksheet of an invoice workbook (.xlsx or .xls, recognised by content).
// Rows and columns count from 1. Failures throw PlanexoError with source "[clExcel.Abrir]" or
// "[clExcel.LeerCelda]".
class clEcxel {
  public:
    clEcxel();
    ~clEcxel();

    // The workbook's path.
    void setArchivo(const QString &path) { m_archivo = path; }
    QString archivo() const { return m_archivo; }

    // Opens the workbook and selects its first worksheet; true when open.
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
    // Sets a cell's text while the sheet is open (held in memory; the file is never written).
    void EscribirCelda(long p_Lin, long p_Col, const QString &p_Valor);
    // Closes the workbook; never fails.
    void CerrarArchivo() noexcept;

  private:
    bool open(SheetCellSink *sink);

    QString m_archivo;
    std::unique_ptr<WorkbookSheet> m_sheet;
};
