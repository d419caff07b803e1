#pragma once

#include <QString>

// Which number formats show dates or times: the rules Excel's formats share (.xlsx, .xlsb, .xls).
namespace workbook {

// True when an Excel number format code shows dates or times (d, m, y, h or s outside quoted
// text, brackets and escapes).
bool isDateFormatCode(const QString &code);
// True for the built-in number formats that show dates or times.
bool isDateFormatId(int id);

} // namespace workbook
