#pragma once

#include <QList>
#include <QString>
#include <cstdint>

// One worksheet of a workbook, as the sheet chooser lists it (chart and macro sheets are no
// worksheets and are not listed).
struct WorkbookSheetInfo {
    QString name;
    bool hidden = false; // hidden or very hidden
};
using WorkbookSheetList = QList<WorkbookSheetInfo>;

// Cells merged into one, as the workbook records them: rows and columns from 1, both ends included.
struct MergedRange {
    uint32_t firstRow, firstCol, lastRow, lastCol;
    bool operator==(const MergedRange &) const = default;
};
using MergedRangeList = QList<MergedRange>;
