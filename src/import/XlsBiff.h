#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// What freexl leaves out of a legacy workbook: the cached results of formula cells and the
// boolean and error constants. Read straight from the BIFF8 records of the first worksheet.
namespace xlsbiff {

struct Cell {
    enum Kind { Number, Text, Bool, Error, EmptyText };
    uint32_t row = 0; // from 1
    uint32_t col = 0; // from 1
    Kind kind = Number;
    double number = 0; // Number (isDate tells a date format), Bool (0 or 1)
    bool isDate = false;
    QString text; // Text, Error ("#N/A", ...)
};

// The named stream of a compound (OLE2) file; empty when the file has none or is malformed.
QByteArray compoundStream(const QByteArray &file, const QString &name);

// The formula, boolean and error cells of the first worksheet of a BIFF8 workbook stream.
// Best effort: a record that does not make sense ends the walk with what was found so far.
std::vector<Cell> formulaCells(const QByteArray &workbook, bool *date1904 = nullptr);

} // namespace xlsbiff
