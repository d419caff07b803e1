#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

// The reader of .xlsb: BIFF12 records in the same zip package as .xlsx, read with the caps and
// failures of the .xlsx reader.
class XlsbReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
