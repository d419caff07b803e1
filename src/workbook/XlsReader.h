#pragma once

#include <QString>

class WorkbookSheet;

// Reads the first worksheet of a legacy Excel workbook (BIFF8, .xls) into a WorkbookSheet.
// Throws PlanexoError (number 1004, no source) with a Spanish description of what is wrong.
namespace xls {

void read(const QString &path, WorkbookSheet &sheet);

} // namespace xls
