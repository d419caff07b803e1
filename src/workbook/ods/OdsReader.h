#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

#include <QString>
#include <cstdint>

// Reads a worksheet (the first by default) of an OpenDocument spreadsheet (.ods) into a
// WorkbookSheet. Throws PlanexoError (number 1004, no source) with a Spanish description of what is
// wrong.
namespace ods {

// At most this many cells are made by repeating a cell with a value (a row or a cell written once
// with a count); the cells written out count against the sheet's own cap.
constexpr uint64_t MaxRepeatedCells = 4'000'000;

// content.xml is read in pieces, so more of it may be inflated than of an .xlsx's parts: a sheet
// of 200,000 rows written with every cell's markup takes about 300 MiB.
constexpr int64_t MaxContentBytes = int64_t(1) << 30;

// Whether a zip package is an OpenDocument spreadsheet: its mimetype entry says so, or, without
// one, it holds content.xml and no Office Open XML content types.
bool isSpreadsheet(const QString &path);

} // namespace ods

// The reader of .ods: OpenDocument spreadsheets.
class OdsReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
