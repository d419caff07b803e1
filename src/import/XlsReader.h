#pragma once

#include <QString>

class WorkbookSheet;

// Reads the first worksheet of a legacy Excel workbook (BIFF, .xls) into a WorkbookSheet.
// Throws PlanexoError (number 1004, no source) with a Spanish description of what is wrong.
namespace xls {

void read(const QString &path, WorkbookSheet &sheet);

// True when a compound file holds an encrypted Office Open XML package (a workbook saved with a
// password to open).
bool isEncryptedPackage(const QString &path);

} // namespace xls
