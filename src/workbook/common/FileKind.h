#pragma once

#include <QByteArray>
#include <QString>

class WorkbookFile;

// What a file that is no workbook is, named for the operator's message.
namespace filekind {

// "un documento PDF", "una imagen PNG", ... from the file's first bytes (at least 512 of them when
// the file has them); for a zip package, from its entries. Empty when it cannot be told.
QString otherDocument(WorkbookFile &file);

// Whether the file's first bytes are a bare BIFF2-4 sheet, as Excel 2.x to 4.0 saved one.
bool isExcel4OrOlder(const QByteArray &head);

} // namespace filekind
