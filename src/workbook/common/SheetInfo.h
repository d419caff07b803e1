#pragma once

#include <QList>
#include <QString>

// One worksheet of a workbook, as the sheet chooser lists it (chart and macro sheets are no
// worksheets and are not listed).
struct WorkbookSheetInfo {
    QString name;
    bool hidden = false; // hidden or very hidden
};
using WorkbookSheetList = QList<WorkbookSheetInfo>;
