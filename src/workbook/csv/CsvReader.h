#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string_view>

class WorkbookSheet;

// Reads a delimited text file (.csv, .txt) as a workbook of one sheet named after the file.
// Throws PlanexoError (number 1004, no source) with a Spanish description of what is wrong.
namespace csv {

// Larger text files are refused before they are read into memory.
constexpr int64_t MaxFileBytes = int64_t(256) << 20;

// sheetIndex: only 0 exists.
void read(const QString &path, WorkbookSheet &sheet, int sheetIndex = 0);

// Whether the file's first bytes are text: a byte-order mark, or no NUL and hardly any other
// control character.
bool isText(const QString &path);
bool isTextStart(const QByteArray &head);

// The file's text as UTF-8: a byte-order mark says UTF-8 or UTF-16 (LE, BE); without one, bytes that
// are valid UTF-8 are UTF-8 and any others are Windows-1252.
QByteArray toUtf8(const QByteArray &bytes);

// The delimiter of the first lines: of ';', ',' and tab the first, in the locale's order of
// preference, that splits each line into the same number of fields (more than one).
char detectDelimiter(std::string_view text);

// Whether a field reads as a number in the user's locale, with its value: VB's rules for a number's
// text (blanks, sign, digits, the decimal separator, an exponent), group separators only every three
// digits of the integer part, and none of the texts that are codes: a leading zero before a digit
// (00123) or more than 15 significant digits.
bool numberOf(std::string_view field, double &value);

} // namespace csv

// The reader of .csv and .txt: delimited text tables.
class CsvReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
