#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

// The reader of legacy Excel workbooks (.xls: Excel 97 to 2003, or Excel 5.0/95): BIFF records in
// a compound file.
class XlsReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
