#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

#include <QString>

class WorkbookSheet;

// Reads a worksheet (the first by default) of a legacy Excel workbook (.xls: Excel 97 to 2003, or
// Excel 5.0/95) into a WorkbookSheet.
// Throws PlanexoError (number 1004, no source) with a Spanish description of what is wrong.
namespace xls {

// sheetIndex: the worksheet's index from 0 in the workbook's order (chart and macro sheets left out).
void read(const QString &path, WorkbookSheet &sheet, int sheetIndex = 0);
// The workbook's worksheets in order.
WorkbookSheetList sheets(const QString &path);

} // namespace xls

// The reader of .xls from Excel 5.0 to 2003: BIFF records in a compound file.
class XlsReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
