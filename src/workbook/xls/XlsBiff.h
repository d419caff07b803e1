#pragma once

#include "workbook/common/SheetInfo.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

class WorkbookSheet;

// Legacy Excel workbooks read from their records: BIFF8 (Excel 97 to 2003) and BIFF5/7 (Excel 5.0
// and 95, texts in the code page of the workbook).
namespace xlsbiff {

// The streams of a compound (OLE2) file, the container of legacy workbooks and of encrypted
// Office Open XML packages. Every sector chain is checked against the file.
class CompoundFile {
  public:
    // False when the data is no well-formed compound file (header, allocation tables, directory).
    bool open(const QByteArray &file);
    bool contains(const QString &name) const;
    // The stream's bytes; empty when it is absent or its sectors are inconsistent.
    QByteArray stream(const QString &name) const;

  private:
    struct Entry {
        QString name;
        uint32_t type = 0;
        uint32_t start = 0;
        uint64_t size = 0;
    };
    const uchar *sector(uint32_t s) const;
    // inFile: the bytes must lie in the file as it was given, not in the padding of its last sector.
    QByteArray readChain(uint32_t start, uint64_t size, bool inFile = true) const;
    static uint32_t le32(const uchar *p);

    QByteArray m_file; // padded to whole sectors
    size_t m_realSize = 0;
    uint32_t m_shift = 9;
    uint32_t m_miniCutoff = 4096;
    std::vector<uint32_t> m_fat;
    std::vector<uint32_t> m_miniFat;
    QByteArray m_miniStream;
    std::vector<Entry> m_entries;
};

// Whether a BIFF workbook stream starts with a BOF record.
bool startsWithBof(const QByteArray &workbook);

// Reads the cells of a worksheet (by its index from 0 in the workbook's sheet order, chart and macro
// sheets left out) of a BIFF8 or BIFF5 workbook stream: texts, numbers, dates (by their cell
// format), booleans, errors and the cached results of formulas. A stream encrypted with Excel's
// default password is decrypted first. Throws PlanexoError (1004, no source) for a damaged,
// password-protected or pre-5.0 workbook.
void readSheet(const QByteArray &workbook, WorkbookSheet &sheet, int sheetIndex = 0);
// The workbook's worksheets in order; fails as readSheet does.
WorkbookSheetList sheetList(const QByteArray &workbook);

} // namespace xlsbiff
