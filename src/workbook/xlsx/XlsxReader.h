#pragma once

#include "workbook/common/DateFormats.h"
#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"
#include "workbook/common/ZipPackage.h"

#include <QString>
#include <cstdint>

// Reads a worksheet (the first by default) of an Office Open XML workbook (.xlsx, .xlsm) into a
// WorkbookSheet. Throws PlanexoError (number 1004, no source) with a Spanish description of what is wrong.
namespace xlsx {

// At most this many bytes are decompressed from the package in all, against zip bombs.
constexpr int64_t MaxUncompressedBytes = workbook::ZipPackage::MaxUncompressedBytes;

// The date rules of Excel's number formats, which .xlsx writes as .xls and .xlsb do.
using workbook::isDateFormatCode;
using workbook::isDateFormatId;

} // namespace xlsx

// The reader of .xlsx and .xlsm: a zip package of XML parts.
class XlsxReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
