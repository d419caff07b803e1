#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

#include <QString>

class WorkbookSheet;

// Reads a worksheet of an Excel binary workbook (.xlsb: BIFF12 records in the same zip package as
// .xlsx) into a WorkbookSheet, with the caps and failures of the .xlsx reader. Throws PlanexoError
// (number 1004, no source) with a Spanish description of what is wrong.
namespace xlsb {

// Whether the file is a zip package whose workbook part is binary (xl/workbook.bin); false also
// when it is no zip package at all.
bool isBinaryPackage(const QString &path);

// Reads the worksheet of this index (from 0, in workbook order, chart and macro sheets left out).
void read(const QString &path, WorkbookSheet &sheet, int sheetIndex = 0);
// The workbook's worksheets in workbook order.
WorkbookSheetList sheets(const QString &path);

} // namespace xlsb

// The reader of .xlsb: BIFF12 records in a zip package.
class XlsbReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
