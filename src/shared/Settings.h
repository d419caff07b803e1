#pragma once

#include <QString>

// The per-user settings store: organisation and application "Planexo", group "CONFIG".
namespace settings {

QString read(const QString &key, const QString &defaultValue = QString());
void write(const QString &key, const QString &value);

// The folder of the last workbook opened (group "RECIENTES"); empty when there is none.
QString lastFolder();
void setLastFolder(const QString &folder);
// The folder of the last PDF exported (group "RECIENTES"); empty when there is none.
QString lastPdfFolder();
void setLastPdfFolder(const QString &folder);

} // namespace settings
