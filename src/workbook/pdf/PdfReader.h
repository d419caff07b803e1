#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

#include <QByteArray>
#include <QString>
#include <functional>

class WorkbookSheet;

// Reads an invoice printed to PDF as a workbook: its text layer, read by the helper program
// planexo-pdftext in a process of its own under a time and memory limit, turned into a table. The
// pages joined are the first sheet, "Páginas 1-N"; each page on its own follows ("Página 1", ...);
// a PDF of one page has that page alone. Throws PlanexoError (number 1004, no source) with a
// Spanish description of what is wrong.
namespace pdf {

bool isPdf(const QByteArray &head);

WorkbookSheetList sheets(const QString &path);
void read(const QString &path, WorkbookSheet &sheet, int sheetIndex = 0);

// What the helper may take: the time between two pages it prints, and its address space (Linux).
struct HelperLimits {
    int pageTimeoutMs = 30000;
    qint64 memoryBytes = qint64(768) << 20;
};
HelperLimits limits();
void setLimits(const HelperLimits &limits);

// The helper's path: PLANEXO_PDFTEXT when set, else planexo-pdftext beside the program.
QString helperPath();

// Told "Leyendo el PDF: página i de N" while the helper reads a long file (nothing by default).
void setProgressListener(std::function<void(int page, int pages)> listener);

} // namespace pdf

// The reader of invoices printed to PDF.
class PdfReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
