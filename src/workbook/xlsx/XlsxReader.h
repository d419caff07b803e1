#pragma once

#include "workbook/common/SheetInfo.h"
#include "workbook/common/WorkbookReader.h"

#include <QHash>
#include <QString>
#include <cstdint>

class WorkbookSheet;
typedef struct zip zip_t;

// Reads a worksheet (the first by default) of an Office Open XML workbook (.xlsx, .xlsm) into a
// WorkbookSheet. Throws PlanexoError (number 1004, no source) with a Spanish description of what is wrong.
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

// The zip package of a workbook (shared with the binary .xlsb reader), with the budget of bytes
// that may still be decompressed from it. Opening throws when the file is no zip package.
class Package {
  public:
    explicit Package(const QString &path);
    ~Package();
    Package(const Package &) = delete;
    Package &operator=(const Package &) = delete;

    // Index of a part by name (without case, folders separated by '/' or '\'), or -1.
    int64_t locate(const QString &name) const;
    zip_t *zip() const { return m_zip; }
    int64_t &budget() { return m_budget; }

  private:
    zip_t *m_zip = nullptr;
    int64_t m_budget = MaxUncompressedBytes;
    mutable bool m_backslashesIndexed = false;
    mutable QHash<QString, int64_t> m_backslashNames; // lower case, '/' between folders
};

// Decompresses a whole part, spending the package's budget; throws when the budget is spent or
// the part cannot be decompressed.
QByteArray readPart(Package &package, int64_t index, const QString &name);

struct Relationship {
    QString type;
    QString target; // part name, resolved
};
// The relationships of a part, by id; empty when the part has none.
QHash<QString, Relationship> readRelationships(Package &package, const QString &part);
// Whether a relationship type ends in this kind ("worksheet", "styles", ...).
bool typeIs(const QString &relType, QLatin1String kind);
// Target of the first relationship of a type; empty when none.
QString targetOfType(const QHash<QString, Relationship> &rels, QLatin1String kind);
// Folder of a part name ("xl/workbook.xml" -> "xl/").
QString folderOf(const QString &part);

} // namespace xlsx

// The reader of .xlsx and .xlsm: a zip package of XML parts.
class XlsxReader final : public WorkbookReader {
  public:
    bool canRead(WorkbookFile &file) const override;
    WorkbookSheetList sheets(WorkbookFile &file) const override;
    void read(WorkbookFile &file, int index, WorkbookSheet &sheet) const override;
};
