#pragma once

#include "SheetInfo.h"

#include <QString>
#include <cstdint>

class WorkbookSheet;

// Reads a worksheet (the first by default) of an Office Open XML workbook (.xlsx, .xlsm) into a WorkbookSheet.
// Throws PlanexoError (number 1004, no source) with a Spanish description of what is wrong.
namespace xlsx {

// At most this many bytes are decompressed from the package in all, against zip bombs.
constexpr int64_t MaxUncompressedBytes = int64_t(256) << 20;

// Reads the worksheet of this index (from 0, in workbook order, chart and macro sheets left out).
void read(const QString &path, WorkbookSheet &sheet, int sheetIndex = 0);
// The workbook's worksheets in workbook order.
WorkbookSheetList sheets(const QString &path);

// True when an Excel number format code shows dates or times (d, m, y, h or s outside quoted
// text, brackets and escapes).
bool isDateFormatCode(const QString &code);
// True for the built-in number formats that show dates or times.
bool isDateFormatId(int id);

} // namespace xlsx
